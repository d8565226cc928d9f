CREATE TABLE vlmr_logtransferencia (
  data varchar(10),
  hora_inicial varchar(10),
  hora_final varchar(10),
  erro varchar(4000)
);
CREATE TABLE vlmr_estagiario (
  matricula varchar(20),
  oficial varchar(1),
  concurso varchar(20),
  id_bolsa varchar(10),
  nome varchar(100),
  sexo varchar(1),
  filiacao varchar(200),
  cpf varchar(14),
  logradouro varchar(100),
  Complemento varchar(50),
  Numero varchar(10),
  Bairro varchar(50),
  cidade varchar(50),
  uf varchar(2),
  cep varchar(9),
  telefone varchar(20),
  celular varchar(20),
  email varchar(100),
  faculdade varchar(100),
  baifacu varchar(50),
  cidadefacu varchar(50),
  periodo varchar(10),
  turno varchar(1),
  prevcolacao datetime,
  dtiniestagio datetime,
  dtfinestagio datetime,
  situacao varchar(1),
  tpdeslig varchar(50),
  matanterior varchar(20),
  sancao varchar(2000),
  elogio varchar(2000)
);
CREATE TABLE vlmr_concurso (
  concurso varchar(20),
  Descricao varchar(100)
);
CREATE TABLE vlmr_bolsaauxilio (
  id_bolsa int,
  descricao varchar(100)
);
CREATE TABLE vlmr_estagiariodesignacao (
  id_desig int,
  matricula varchar(20),
  dt_ini datetime,
  dt_fin datetime,
  Id_orgao varchar(20)
);
CREATE TABLE vlmr_estagiariointerrupcao (
  sequencia int,
  matricula varchar(20),
  dtinicio datetime,
  dtprevfim datetime,
  dtfim datetime,
  motivo varchar(200)
);
CREATE TABLE vlmr_pagamento (
  matricula varchar(20),
  anomes varchar(6),
  valor decimal(12,2),
  Dtproc datetime
);
-- Every intern's look-ups search these by registration number or code.
CREATE INDEX vlmr_concurso_concurso ON vlmr_concurso (concurso);
CREATE INDEX vlmr_bolsaauxilio_id_bolsa ON vlmr_bolsaauxilio (id_bolsa);
CREATE INDEX vlmr_estagiariodesignacao_matricula ON vlmr_estagiariodesignacao (matricula, id_desig);
CREATE INDEX vlmr_estagiariointerrupcao_matricula ON vlmr_estagiariointerrupcao (matricula, sequencia);
