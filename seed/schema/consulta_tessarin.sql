-- Consultation database: flat tables of display texts that the night
-- empties and refills. cons_estagiario and cons_pagamento carry no key: a
-- failed night re-creates them from its snapshots with select-into, which
-- copies columns and rows but no key or index.
CREATE TABLE cons_estagiario (
  matricula varchar(20) NULL,
  oficial varchar(150) NULL,
  concurso varchar(100) NULL,
  bolsa varchar(100) NULL,
  orgao varchar(300) NULL,
  nome varchar(100) NULL,
  sexo varchar(20) NULL,
  filiacao varchar(200) NULL,
  cpf varchar(14) NULL,
  logradouro varchar(100) NULL,
  numero int NULL,
  complemento varchar(50) NULL,
  bairro varchar(50) NULL,
  cidade varchar(50) NULL,
  uf varchar(2) NULL,
  cep varchar(9) NULL,
  telefone varchar(20) NULL,
  celular varchar(20) NULL,
  email varchar(100) NULL,
  faculdade varchar(100) NULL,
  baifacu varchar(50) NULL,
  cidadefacu varchar(50) NULL,
  periodo varchar(10) NULL,
  turno varchar(10) NULL,
  prevcolacao varchar(10) NULL,
  dtiniestagio varchar(10) NULL,
  dtfinestagio varchar(10) NULL,
  Dt_inidesignacao varchar(10) NULL,
  Dt_findesignacao varchar(10) NULL,
  situacao varchar(20) NULL,
  tpdeslig varchar(50) NULL,
  matanterior varchar(20) NULL,
  Dt_ininterrupcao varchar(10) NULL,
  Dt_prevfinterrupcao varchar(10) NULL,
  Dt_finterrupcao varchar(10) NULL,
  motivo_interrupcao varchar(200) NULL
);

CREATE TABLE cons_pagamento (
  matricula varchar(20) NULL,
  anomes varchar(6) NULL,
  valor varchar(20) NULL,
  Dtproc varchar(10) NULL
);

-- Never emptied: one row per intern with a commendation or a sanction,
-- looked up by registration number written as a number.
CREATE TABLE cons_estagiarioelogio (
  data varchar(10) NOT NULL,
  matricula int NOT NULL,
  hora varchar(8) NOT NULL,
  elogioc varchar(2000) NULL,
  sancao varchar(2000) NULL
);
CREATE INDEX ix_cons_estagiarioelogio_matricula ON cons_estagiarioelogio (matricula);
