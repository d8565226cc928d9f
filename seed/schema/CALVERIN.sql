-- Organiser catalog: the organisational units, looked up by their qorv code
-- or by their unit number, and the groups whose description follows a unit's
-- name.
CREATE TABLE gruposorgaos (
  grupo int NOT NULL,
  descricao varchar(100) NOT NULL,
  CONSTRAINT pk_gruposorgaos PRIMARY KEY (grupo)
);

CREATE TABLE orgaos (
  orgao int NOT NULL,
  nome varchar(100) NOT NULL,
  qorv varchar(20) NOT NULL,
  regiao varchar(20) NOT NULL,
  grupo int NOT NULL,
  CONSTRAINT pk_orgaos PRIMARY KEY (orgao)
);
CREATE UNIQUE INDEX ix_orgaos_qorv ON orgaos (qorv);
