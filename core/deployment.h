#pragma once

#include <string>

namespace velmora {

// The fixed values of a deployment: compiled in from the build constants,
// never read from a command line, environment or file.
struct Deployment {
  std::string source_server;    // server piece of the source connection text
  std::string consulta_server;  // consultation database and organiser catalog
  std::string odbc_driver;      // ODBC driver name for non-embedded servers
  std::string smtp_host;        // outgoing mail server, port 25
  std::string mailbox;          // sender and recipient of the failure notice
  int smtp_port = 25;           // always 25 when deployed; tests redirect it
  // The login and password of each connection text ("''" is an empty password).
  std::string source_login;
  std::string source_password;
  std::string consulta_login;
  std::string consulta_password;
  std::string organiser_login;
  std::string organiser_password;
};

// The deployment in use.
const Deployment& deployment();

// Tests point the system at their own databases and servers; nullptr
// restores the compiled-in values.
void set_deployment_for_testing(const Deployment* replacement);

// The compiled-in values.
Deployment built_in_deployment();

}  // namespace velmora
