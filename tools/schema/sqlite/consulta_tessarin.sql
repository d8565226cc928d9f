CREATE TABLE cons_estagiario (
  matricula varchar(20),
  oficial varchar(150),
  concurso varchar(100),
  bolsa varchar(100),
  orgao varchar(300),
  nome varchar(100),
  sexo varchar(20),
  filiacao varchar(200),
  cpf varchar(14),
  logradouro varchar(100),
  numero int,
  complemento varchar(50),
  bairro varchar(50),
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
  turno varchar(10),
  prevcolacao varchar(10),
  dtiniestagio varchar(10),
  dtfinestagio varchar(10),
  Dt_inidesignacao varchar(10),
  Dt_findesignacao varchar(10),
  situacao varchar(20),
  tpdeslig varchar(50),
  matanterior varchar(20),
  Dt_ininterrupcao varchar(10),
  Dt_prevfinterrupcao varchar(10),
  Dt_finterrupcao varchar(10),
  motivo_interrupcao varchar(200)
);
CREATE TABLE cons_pagamento (
  matricula varchar(20),
  anomes varchar(6),
  valor varchar(20),
  Dtproc varchar(10)
);
CREATE TABLE cons_estagiarioelogio (
  data varchar(10),
  matricula varchar(20),
  hora varchar(8),
  elogioc varchar(2000),
  sancao varchar(2000)
);
CREATE INDEX cons_estagiarioelogio_matricula ON cons_estagiarioelogio (matricula);
