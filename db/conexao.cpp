#include "db/conexao.h"

#include "core/deployment.h"
#include "notify/enviar_email.h"

namespace velmora {

std::string sql;
ConexaoModule CONEXAO;
Conexao2Module Conexao2;
Conexao3Module conexao3;

namespace {

std::string connection_text(const std::string& server, const std::string& catalog,
                            const std::string& login, const std::string& password) {
  return "Provider=SQLOLEDB;Data Source=" + server + ";Initial Catalog=" + catalog +
         ";User Id=" + login + ";Password=" + password;
}

void close_slot(Slot<Connection>& cn) {
  if (!cn) return;
  if (cn->IsOpen()) cn->Close();
  cn.reset();
}

}  // namespace

std::string source_connection_text() {
  const Deployment& d = deployment();
  return connection_text(d.source_server, "Velmora", d.source_login, d.source_password);
}
std::string consulta_connection_text() {
  const Deployment& d = deployment();
  return connection_text(d.consulta_server, "consulta_tessarin", d.consulta_login,
                         d.consulta_password);
}
std::string organiser_connection_text() {
  const Deployment& d = deployment();
  return connection_text(d.consulta_server, "CALVERIN", d.organiser_login, d.organiser_password);
}

void ConexaoModule::abrir() {
  cn = std::make_shared<Connection>();
  rs = std::make_shared<Recordset>();
  rs2 = std::make_shared<Recordset>();
  cn->Open(source_connection_text());
}
void ConexaoModule::fechar() { close_slot(cn); }
void ConexaoModule::enviar_email() { notify::enviar_email(); }

void Conexao2Module::abrir() {
  cn = std::make_shared<Connection>();
  rs = std::make_shared<Recordset>();
  rs2 = std::make_shared<Recordset>();
  cn->Open(consulta_connection_text());
}
void Conexao2Module::fechar() { close_slot(cn); }

void Conexao3Module::abrir() {
  cn = std::make_shared<Connection>();
  rs = std::make_shared<Recordset>();
  cn->Open(organiser_connection_text());
}
void Conexao3Module::fechar() { close_slot(cn); }

}  // namespace velmora
