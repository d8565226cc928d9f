#include <chrono>
#include <map>
#include <ostream>

#include "core/deployment.h"
#include "ctl/catalogs.h"
#include "ctl/commands.h"
#include "ctl/night_tables.h"
#include "ctl/smtp_greeting.h"
#include "notify/mail_sender.h"

namespace velmora::ctl {
namespace {

using Clock = std::chrono::steady_clock;

class Report {
 public:
  explicit Report(std::ostream& out) : out_(out) {}
  void pass(const std::string& item, Clock::time_point start) {
    out_ << "ok    " << item << " " << elapsed_text(start) << "\n";
  }
  void fail(const std::string& item, const Failure& failure) {
    out_ << "FAIL  " << item << ": " << failure_text(failure) << "\n";
    all_passed_ = false;
  }
  bool all_passed() const { return all_passed_; }

 private:
  std::ostream& out_;
  bool all_passed_ = true;
};

int perform(const Arguments&, Console& console) {
  Report report(console.out);
  std::map<Catalog, std::unique_ptr<Connection>> open;
  for (Catalog c : {Catalog::kSource, Catalog::kConsulta, Catalog::kOrganiser}) {
    const CatalogInfo info = catalog_info(c);
    const std::string item =
        info.role + " " + info.name + " on " + info.server + " as " + info.login;
    const auto start = Clock::now();
    try {
      open[c] = open_catalog(c);
      report.pass(item, start);
    } catch (const Failure& f) {
      report.fail(item, f);
    }
  }
  // Selecting no row reads nothing and changes nothing, yet fails for a
  // missing table or column.
  for (const NightTable& t : kNightTables) {
    auto connection = open.find(t.catalog);
    if (connection == open.end()) continue;
    const std::string item = "table " + std::string(t.name) + " (" + std::string(t.columns) + ")";
    const auto start = Clock::now();
    try {
      connection->second->Execute("select " + std::string(t.columns) + " from " +
                                  std::string(t.name) + " where 1=0");
      report.pass(item, start);
    } catch (const Failure& f) {
      report.fail(item, f);
    }
  }
  for (auto& [catalog, connection] : open) connection->Close();

  const Deployment& site = deployment();
  const std::string item =
      "mail server " + site.smtp_host + ":" + std::to_string(site.smtp_port) + " (EHLO)";
  const auto start = Clock::now();
  try {
    greet_mail_server(
        site.smtp_host, site.smtp_port,
        std::chrono::duration_cast<std::chrono::milliseconds>(mail_timeouts().connect));
    report.pass(item, start);
  } catch (const Failure& f) {
    report.fail(item, f);
  }
  return report.all_passed() ? kSuccess : kFailure;
}

}  // namespace

Command check_command() {
  return {"check",
          "check that the databases and the mail server answer",
          "Opens the three connections with the connection texts compiled into this build,\n"
          "confirms that every table the night reads or writes exists with the columns it\n"
          "uses, and greets the mail server (connect and EHLO, no message is sent). One line\n"
          "per item with its time, or the failure's number and description. Changes\n"
          "nothing. Exit status 0 only when every item passes.\n",
          {},
          perform};
}

}  // namespace velmora::ctl
