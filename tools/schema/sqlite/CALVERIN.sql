CREATE TABLE orgaos (
  orgao int,
  nome varchar(100),
  qorv varchar(20),
  regiao varchar(20),
  grupo int
);
CREATE TABLE gruposorgaos (
  grupo int,
  descricao varchar(100)
);
