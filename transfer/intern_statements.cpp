#include "transfer/intern_statements.h"

#include "core/sql_text.h"

namespace velmora {

std::string exam_lookup_statement(const std::string& concurso) {
  return "Select Descricao from vlmr_concurso where concurso='" + quoted(concurso) + "'";
}

std::string grant_lookup_statement(const std::string& bolsa) {
  return "select descricao from vlmr_bolsaauxilio where id_bolsa = " +
         bare_number(bolsa, "grant code");
}

std::string assignment_lookup_statement(const std::string& matricula) {
  return "select a.* from vlmr_estagiariodesignacao a where a.matricula = '" + quoted(matricula) +
         "'" + "and a.id_desig=(select max(b.id_desig) from vlmr_estagiariodesignacao b " +
         " where b.matricula=a.matricula)";
}

std::string interruption_lookup_statement(const std::string& matricula) {
  return "select a.* from vlmr_estagiariointerrupcao a where a.matricula = '" + quoted(matricula) +
         "' " + "and a.sequencia=(select max(b.sequencia) from vlmr_estagiariointerrupcao b " +
         " where b.matricula=a.matricula)";
}

std::string intern_insert_statement(const RegEstagiario& r) {
  // Checked first so that a bad numero fails before anything is assembled.
  const std::string numero = bare_number(r.numero, "numero");
  auto q = [](const std::string& value) { return quoted(value); };
  std::string s =
      "insert into Cons_estagiario"
      "(matricula,oficial,concurso,bolsa,orgao,nome,sexo,filiacao,cpf,logradouro,numero,"
      "complemento "
      ",bairro,cidade,uf,cep,telefone,celular,email,faculdade,baifacu,cidadefacu,periodo,turno,"
      "prevcolacao "
      ",dtiniestagio,dtfinestagio,Dt_inidesignacao,Dt_findesignacao,situacao,tpdeslig,"
      "matanterior,"
      "Dt_ininterrupcao,Dt_prevfinterrupcao,Dt_finterrupcao,motivo_interrupcao )values ";
  s += " ('" + q(r.matricula) + "','" + q(r.oficial) + "','" + q(r.concurso) + "','" + q(r.bolsa) +
       "','" + q(r.orgao) + "','" + q(r.nome) + "','" + q(r.sexo) + "','" + q(r.filiacao) + "',";
  s += " '" + q(r.cpf) + "','" + q(r.logradouro) + "'," + numero + ",'" + q(r.complemento) + "','" +
       q(r.bairro) + "','" + q(r.cidade) + "','" + q(r.uf) + "','" + q(r.cep) + "','" +
       q(r.telefone) + "',";
  s += " '" + q(r.celular) + "','" + q(r.email) + "','" + q(r.faculdade) + "','" + q(r.baifacu) +
       "','" + q(r.cidadefacu) + "','" + q(r.periodo) + "','" + q(r.turno) + "','" +
       q(r.prevcolacao) + "',";
  s += " '" + q(r.dtiniestagio) + "','" + q(r.dtfinestagio) + "','" + q(r.Dt_inidesignacao) +
       "','" + q(r.Dt_findesignacao) + "','" + q(r.situacao) + "','" + q(r.tpdeslig) + "','" +
       q(r.matanterior) + "',";
  s += " '" + q(r.Dt_ininterrupcao) + "','" + q(r.Dt_prevfinterrupcao) + "','" +
       q(r.Dt_finterrupcao) + "','" + q(r.motivo_interrupcao) + "')";
  return s;
}

std::string commendation_lookup_statement(const std::string& matricula) {
  return "select * from Cons_Estagiarioelogio where matricula=" +
         bare_number(matricula, "registration number");
}

std::string commendation_insert_statement(const std::string& date, const std::string& matricula,
                                          const std::string& clock, const std::string& elogio,
                                          const std::string& sancao) {
  return std::string("insert into cons_estagiarioelogio") + "(data,matricula,hora,elogioc,sancao)" +
         " values('" + date + "','" + quoted(matricula) + "','" + clock + "','" + quoted(elogio) +
         "','" + quoted(sancao) + "')";
}

std::string commendation_update_statement(const std::string& matricula, const std::string& elogio,
                                          const std::string& sancao) {
  return std::string("update cons_estagiarioelogio") + " set elogioc ='" + quoted(elogio) +
         "',sancao='" + quoted(sancao) + "'" + " where matricula= '" + quoted(matricula) + "'";
}

}  // namespace velmora
