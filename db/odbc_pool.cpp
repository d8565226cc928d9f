#include "db/odbc_pool.h"

#include <algorithm>
#include <chrono>
#include <string_view>

#include "db/time_outs.h"
#include "db/utf16.h"

namespace velmora {
namespace {
// The process's pool once made, and null again once destroyed at exit:
// connections still open in the connection slots close after it. Read and
// written on the process's one thread only.
OdbcPool* g_pool = nullptr;

// The server part of a connection string made by odbc_connection_string:
// everything before its catalog (driver, server and port).
std::string server_of(const std::string& connection_string) {
  return connection_string.substr(0, connection_string.find(";Database="));
}

// The value of attribute `key` in a connection string made by
// odbc_connection_string (braces removed, doubled '}' undone), or "".
std::string attribute(const std::string& connection_string, std::string_view key) {
  std::size_t at = 0;
  while (at < connection_string.size()) {
    const std::size_t equals = connection_string.find('=', at);
    if (equals == std::string::npos) break;
    const std::string_view name(connection_string.data() + at, equals - at);
    std::string value;
    std::size_t end = equals + 1;
    if (end < connection_string.size() && connection_string[end] == '{') {
      for (++end; end < connection_string.size(); ++end) {
        if (connection_string[end] == '}') {
          if (end + 1 < connection_string.size() && connection_string[end + 1] == '}') {
            value.push_back('}');
            ++end;
            continue;
          }
          ++end;
          break;
        }
        value.push_back(connection_string[end]);
      }
    } else {
      const std::size_t semicolon = connection_string.find(';', end);
      const std::size_t stop =
          semicolon == std::string::npos ? connection_string.size() : semicolon;
      value = connection_string.substr(end, stop - end);
      end = stop;
    }
    if (name == key) return value;
    at = end + 1;
  }
  return {};
}

// The catalog and server a connection string reaches, for failures:
// "consulta_tessarin at 10.1.2.3,1433".
std::string place_of(const std::string& connection_string) {
  std::string server = attribute(connection_string, "Server");
  const std::string port = attribute(connection_string, "Port");
  if (!port.empty()) server += "," + port;
  return attribute(connection_string, "Database") + " at " + server;
}

// Sets an integer connection attribute. A driver that does not know it
// keeps its own behaviour; the other bounds still hold.
void set_connect_attribute(SQLHDBC dbc, SQLINTEGER attribute, SQLULEN value) {
  SQLSetConnectAttr(dbc, attribute, reinterpret_cast<SQLPOINTER>(value), SQL_IS_UINTEGER);
}
}  // namespace

OdbcLink::OdbcLink(std::shared_ptr<OdbcEnv> env, const std::string& connection_string)
    : env_(std::move(env)) {
  dbc_ = allocate_handle<SQL_HANDLE_DBC>(SQL_HANDLE_ENV, env_->get());
  const TimeOuts& bounds = time_outs();
  set_connect_attribute(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT,
                        static_cast<SQLULEN>(bounds.login.count()));
  // For a driver that bounds its requests other than statements with it.
  set_connect_attribute(dbc_.get(), SQL_ATTR_CONNECTION_TIMEOUT,
                        static_cast<SQLULEN>(bounds.statement.count()));
  std::u16string text = utf16_from_utf8(connection_string);
  SQLSMALLINT out_length = 0;
  const auto start = std::chrono::steady_clock::now();
  const SQLRETURN rc = SQLDriverConnectW(
      dbc_.get(), nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
      static_cast<SQLSMALLINT>(text.size()), nullptr, 0, &out_length, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    const OdbcDiagnostics d = read_diagnostics(SQL_HANDLE_DBC, dbc_.get());
    // Drivers word a login time-out in their own ways (libpq's "timeout
    // expired" comes as 08001); a failed login that lasted the whole bound
    // was one.
    if (d.time_out || std::chrono::steady_clock::now() - start >= bounds.login) {
      throw time_out_failure(failure_number::kOdbcTimeOut, "login", bounds.login,
                             place_of(connection_string), d.description);
    }
    throw_odbc_failure(d, "SQLDriverConnect failed");
  }
  connected_ = true;
}

OdbcLink::~OdbcLink() {
  stmt_.reset();
  if (connected_) SQLDisconnect(dbc_.get());
}

SQLHSTMT OdbcLink::statement() {
  if (!stmt_) stmt_ = allocate_handle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, dbc_.get());
  return stmt_.get();
}

bool OdbcLink::alive() const {
  SQLUINTEGER dead = SQL_CD_FALSE;
  const SQLRETURN rc = SQLGetConnectAttr(dbc_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
  // A driver that cannot tell is trusted: the link was healthy when returned.
  return !SQL_SUCCEEDED(rc) || dead != SQL_CD_TRUE;
}

OdbcPool::OdbcPool() {
  auto env = allocate_handle<SQL_HANDLE_ENV>(SQL_HANDLE_ENV, nullptr);
  const SQLRETURN rc = SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!SQL_SUCCEEDED(rc)) {
    throw_odbc_failure(read_diagnostics(SQL_HANDLE_ENV, env.get()), "SQLSetEnvAttr failed");
  }
  env_ = std::make_shared<OdbcEnv>(std::move(env));
}

OdbcPool::~OdbcPool() {
  if (g_pool == this) g_pool = nullptr;
  clear();
}

void OdbcPool::reap(std::chrono::steady_clock::time_point now, std::vector<Idle>& out) {
  auto expired = [&](const Idle& i) { return now - i.since >= timeout_; };
  for (auto& i : idle_) {
    if (expired(i)) out.push_back(std::move(i));
  }
  std::erase_if(idle_, [](const Idle& i) { return i.link == nullptr; });
}

std::unique_ptr<OdbcLink> OdbcPool::take(const std::string& connection_string) {
  std::vector<Idle> dropped;  // disconnected before a new connection is made
  reap(std::chrono::steady_clock::now(), dropped);
  // The most recently returned connection first: it is the likeliest alive.
  for (auto it = idle_.rbegin(); it != idle_.rend(); ++it) {
    if (it->connection_string != connection_string) continue;
    std::unique_ptr<OdbcLink> link = std::move(it->link);
    idle_.erase(std::next(it).base());
    if (link->alive() && !outdated(connection_string, *link)) return link;
    dropped.push_back({connection_string, std::move(link), {}});
    break;
  }
  dropped.clear();
  return std::make_unique<OdbcLink>(env_, connection_string);
}

void OdbcPool::give_back(const std::string& connection_string, std::unique_ptr<OdbcLink> link) {
  std::vector<Idle> dropped;
  const auto now = std::chrono::steady_clock::now();
  reap(now, dropped);
  if (outdated(connection_string, *link)) {
    dropped.push_back({connection_string, std::move(link), now});
    return;
  }
  if (timeout_ > std::chrono::steady_clock::duration::zero()) {
    idle_.push_back({connection_string, std::move(link), now});
  }
}

void OdbcPool::set_idle_timeout(std::chrono::steady_clock::duration timeout) {
  std::vector<Idle> dropped;
  timeout_ = timeout;
  reap(std::chrono::steady_clock::now(), dropped);
}

std::size_t OdbcPool::idle_count() { return idle_.size(); }

void OdbcPool::release_expired() {
  std::vector<Idle> dropped;
  reap(std::chrono::steady_clock::now(), dropped);
}

void OdbcPool::clear() {
  std::vector<Idle> dropped;
  dropped.swap(idle_);
}

void OdbcPool::note_link_failure(const std::string& connection_string) {
  std::vector<Idle> dropped;
  const std::string server = server_of(connection_string);
  const auto now = std::chrono::steady_clock::now();
  auto known = std::find_if(failures_.begin(), failures_.end(),
                            [&](const auto& f) { return f.first == server; });
  if (known == failures_.end()) {
    failures_.emplace_back(server, now);
  } else {
    known->second = now;
  }
  for (auto& i : idle_) {
    if (server_of(i.connection_string) == server) dropped.push_back(std::move(i));
  }
  std::erase_if(idle_, [](const Idle& i) { return i.link == nullptr; });
}

bool OdbcPool::outdated(const std::string& connection_string, const OdbcLink& link) const {
  const std::string server = server_of(connection_string);
  for (const auto& [failed_server, at] : failures_) {
    if (failed_server == server) return link.connected_at() <= at;
  }
  return false;
}

OdbcPool& odbc_pool() {
  static OdbcPool pool;
  static const bool registered = (g_pool = &pool, true);
  (void)registered;
  return pool;
}

OdbcPool* live_odbc_pool() noexcept { return g_pool; }

void release_idle_odbc_connections() noexcept {
  if (OdbcPool* pool = g_pool) {
    try {
      pool->release_expired();
    } catch (...) {
      // Disconnecting an idle connection is housekeeping; it must not stop the timer.
    }
  }
}

}  // namespace velmora
