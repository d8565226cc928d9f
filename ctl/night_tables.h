#pragma once

#include <array>
#include <string_view>

#include "ctl/catalogs.h"

namespace velmora::ctl {

// A table that the night reads or writes, with the columns it reads or
// writes there.
struct NightTable {
  Catalog catalog;
  std::string_view name;
  std::string_view columns;  // comma-separated, as a select list
};

inline constexpr std::array<NightTable, 13> kNightTables = {{
    {Catalog::kSource, "vlmr_logtransferencia", "data,hora_inicial,hora_final,erro"},
    {Catalog::kSource, "vlmr_estagiario",
     "matricula,oficial,concurso,id_bolsa,nome,sexo,filiacao,cpf,logradouro,Complemento,Numero,"
     "Bairro,cidade,uf,cep,telefone,celular,email,faculdade,baifacu,cidadefacu,periodo,turno,"
     "prevcolacao,dtiniestagio,dtfinestagio,situacao,tpdeslig,matanterior,sancao,elogio"},
    {Catalog::kSource, "vlmr_concurso", "concurso,Descricao"},
    {Catalog::kSource, "vlmr_bolsaauxilio", "id_bolsa,descricao"},
    {Catalog::kSource, "vlmr_estagiariodesignacao", "id_desig,matricula,dt_ini,dt_fin,Id_orgao"},
    {Catalog::kSource, "vlmr_estagiariointerrupcao",
     "sequencia,matricula,dtinicio,dtprevfim,dtfim,motivo"},
    {Catalog::kSource, "vlmr_pagamento", "matricula,anomes,valor,Dtproc"},
    {Catalog::kConsulta, "cons_estagiario",
     "matricula,oficial,concurso,bolsa,orgao,nome,sexo,filiacao,cpf,logradouro,numero,"
     "complemento,bairro,cidade,uf,cep,telefone,celular,email,faculdade,baifacu,cidadefacu,"
     "periodo,turno,prevcolacao,dtiniestagio,dtfinestagio,Dt_inidesignacao,Dt_findesignacao,"
     "situacao,tpdeslig,matanterior,Dt_ininterrupcao,Dt_prevfinterrupcao,Dt_finterrupcao,"
     "motivo_interrupcao"},
    {Catalog::kConsulta, "cons_pagamento", "matricula,anomes,valor,Dtproc"},
    {Catalog::kConsulta, "cons_estagiarioelogio", "data,matricula,hora,elogioc,sancao"},
    // The snapshot retention asks the catalog's table list.
    {Catalog::kConsulta, "INFORMATION_SCHEMA.TABLES", "TABLE_NAME,TABLE_TYPE"},
    {Catalog::kOrganiser, "orgaos", "orgao,nome,qorv,regiao,grupo"},
    {Catalog::kOrganiser, "gruposorgaos", "grupo,descricao"},
}};

}  // namespace velmora::ctl
