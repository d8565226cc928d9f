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
CREATE INDEX orgaos_qorv ON orgaos (qorv);
CREATE INDEX orgaos_orgao ON orgaos (orgao);
