#pragma once

#include <memory>
#include <string>

#include "core/failure.h"
#include "db/client.h"

namespace velmora {

// A slot holds nothing or one object of the database client. Replacing or
// emptying it discards the object it held (a discarded connection closes).
// Using an empty slot throws Failure 91, as any use of a missing object does.
template <class T>
class Slot {
 public:
  Slot& operator=(std::shared_ptr<T> object) {
    object_ = std::move(object);
    return *this;
  }
  T* operator->() const { return &get(); }
  T& get() const {
    if (!object_) throw object_state_failure(ObjectState::kNotSet);
    return *object_;
  }
  explicit operator bool() const { return object_ != nullptr; }
  void reset() { object_.reset(); }
  const std::shared_ptr<T>& shared() const { return object_; }

 private:
  std::shared_ptr<T> object_;
};

// The statement text in which nearly every statement is assembled before it
// is executed; it holds the last statement built.
extern std::string sql;

// The source database (catalog Velmora).
struct ConexaoModule {
  Slot<Connection> cn;
  Slot<Recordset> rs;
  Slot<Recordset> rs2;

  // Puts a new connection and new empty row sets into the slots (what they
  // held is discarded and so closed), then opens the connection. A failed
  // open leaves the new, unopened connection in the slot and throws.
  void abrir();
  // Closes and discards the connection; nothing for an empty slot or an
  // unopened connection. Row set slots are left alone.
  void fechar();
  // Sends the fixed failure notice (notify::enviar_email); never throws.
  void enviar_email();
};

// The consultation database (catalog consulta_tessarin).
struct Conexao2Module {
  Slot<Connection> cn;
  Slot<Recordset> rs;
  Slot<Recordset> rs2;
  void abrir();
  void fechar();
};

// The organiser catalog (CALVERIN).
struct Conexao3Module {
  Slot<Connection> cn;
  Slot<Recordset> rs;
  // Display text of the unit found by the latest buscar_orgao, or "".
  std::string nome_orgao;

  void abrir();
  void fechar();
  // Sets nome_orgao to the display text of unit `code` ("<nome> <descricao>",
  // each trimmed, a Null counting as ""), or "" when the code is empty or
  // matches no unit. An empty code touches no database; any other opens a
  // new organiser connection (abrir), looks the code up as qorv, then as a
  // number in orgao. Leaves `sql` alone. Throws Failure from the database,
  // or 13 before the second look-up when the code is not a number; on a
  // failure nome_orgao keeps its previous value.
  void buscar_orgao(const std::string& code);
};

extern ConexaoModule CONEXAO;
extern Conexao2Module Conexao2;
extern Conexao3Module conexao3;

// The constant connection texts of the three slots, with the server, login
// and password pieces of the deployment in use.
std::string source_connection_text();
std::string consulta_connection_text();
std::string organiser_connection_text();

}  // namespace velmora
