CREATE TABLE orgaos (
  orgao integer,
  nome varchar(100),
  qorv varchar(20),
  regiao varchar(20),
  grupo integer
);
CREATE TABLE gruposorgaos (
  grupo integer,
  descricao varchar(100)
);
CREATE INDEX orgaos_qorv ON orgaos (qorv);
CREATE INDEX orgaos_orgao ON orgaos (orgao);
