-- Source database of the intern-management application, as a SQL Server
-- installation of it has it: dates as datetime, the grant code as a number,
-- keys on the codes and indexes on the columns every intern's look-ups use.
CREATE TABLE vlmr_logtransferencia (
  data varchar(10) NOT NULL,
  hora_inicial varchar(10) NULL,
  hora_final varchar(10) NULL,
  erro varchar(4000) NULL
);
-- The end row of a run finds its rows by date.
CREATE INDEX ix_vlmr_logtransferencia_data ON vlmr_logtransferencia (data);

CREATE TABLE vlmr_concurso (
  concurso varchar(20) NOT NULL,
  Descricao varchar(100) NOT NULL,
  CONSTRAINT pk_vlmr_concurso PRIMARY KEY (concurso)
);

CREATE TABLE vlmr_bolsaauxilio (
  id_bolsa int NOT NULL,
  descricao varchar(100) NOT NULL,
  CONSTRAINT pk_vlmr_bolsaauxilio PRIMARY KEY (id_bolsa)
);

CREATE TABLE vlmr_estagiario (
  matricula varchar(20) NOT NULL,
  oficial char(1) NOT NULL,
  concurso varchar(20) NOT NULL,
  id_bolsa int NOT NULL,
  nome varchar(100) NOT NULL,
  sexo char(1) NOT NULL,
  filiacao varchar(200) NOT NULL,
  cpf varchar(14) NOT NULL,
  logradouro varchar(100) NOT NULL,
  Complemento varchar(50) NOT NULL,
  Numero varchar(10) NOT NULL,
  Bairro varchar(50) NOT NULL,
  cidade varchar(50) NOT NULL,
  uf char(2) NOT NULL,
  cep varchar(9) NOT NULL,
  telefone varchar(20) NOT NULL,
  celular varchar(20) NOT NULL,
  email varchar(100) NOT NULL,
  faculdade varchar(100) NOT NULL,
  baifacu varchar(50) NOT NULL,
  cidadefacu varchar(50) NOT NULL,
  periodo varchar(10) NOT NULL,
  turno char(1) NOT NULL,
  prevcolacao datetime NULL,
  dtiniestagio datetime NULL,
  dtfinestagio datetime NULL,
  situacao char(1) NOT NULL,
  tpdeslig varchar(50) NOT NULL,
  matanterior varchar(20) NULL,
  sancao varchar(2000) NULL,
  elogio varchar(2000) NULL,
  CONSTRAINT pk_vlmr_estagiario PRIMARY KEY (matricula)
);

CREATE TABLE vlmr_estagiariodesignacao (
  id_desig int NOT NULL,
  matricula varchar(20) NOT NULL,
  dt_ini datetime NOT NULL,
  dt_fin datetime NULL,
  Id_orgao varchar(20) NOT NULL,
  CONSTRAINT pk_vlmr_estagiariodesignacao PRIMARY KEY (id_desig)
);
CREATE INDEX ix_vlmr_estagiariodesignacao_matricula
  ON vlmr_estagiariodesignacao (matricula, id_desig);

CREATE TABLE vlmr_estagiariointerrupcao (
  matricula varchar(20) NOT NULL,
  sequencia int NOT NULL,
  dtinicio datetime NOT NULL,
  dtprevfim datetime NULL,
  dtfim datetime NULL,
  motivo varchar(200) NOT NULL,
  CONSTRAINT pk_vlmr_estagiariointerrupcao PRIMARY KEY (matricula, sequencia)
);

CREATE TABLE vlmr_pagamento (
  matricula varchar(20) NOT NULL,
  anomes char(6) NOT NULL,
  valor decimal(12,2) NOT NULL,
  Dtproc datetime NULL,
  CONSTRAINT pk_vlmr_pagamento PRIMARY KEY (matricula, anomes)
);
