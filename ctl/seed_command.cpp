#include <filesystem>
#include <limits>
#include <map>
#include <ostream>

#include "app/run/process_locks.h"
#include "core/clock.h"
#include "core/deployment.h"
#include "ctl/commands.h"
#include "seed/embedded_data_set.h"
#include "tools/catalog_tables.h"

namespace velmora::ctl {
namespace {

constexpr std::string_view kEmbedded = "sqlite:";

// The directories the data set goes to: DIR for all three, or else each
// catalog's embedded server of this build.
seed::EmbeddedTarget target_of(const Arguments& arguments) {
  if (auto dir = arguments.value("dir")) return {*dir, *dir};
  const Deployment& site = deployment();
  for (const std::string* server : {&site.source_server, &site.consulta_server}) {
    if (!server->starts_with(kEmbedded)) {
      throw UsageError("this build's server " + *server +
                       " is not embedded: give --dir DIR for the files");
    }
  }
  return {site.source_server.substr(kEmbedded.size()),
          site.consulta_server.substr(kEmbedded.size())};
}

int perform(const Arguments& arguments, Console& console) {
  seed::Options options;
  if (auto n = arguments.value("interns"))
    options.interns = static_cast<int>(integer_option("interns", *n, 1, seed::kMaxInterns));
  if (auto s = arguments.value("seed"))
    options.seed = static_cast<std::uint64_t>(
        integer_option("seed", *s, 0, std::numeric_limits<std::int64_t>::max()));
  const seed::EmbeddedTarget target = target_of(arguments);
  options.today = clock().now();

  // The files are those a deployment on these directories would serve: a
  // run on them must not see them replaced under it.
  Deployment served = deployment();
  served.source_server = std::string(kEmbedded) + target.source_dir;
  served.consulta_server = std::string(kEmbedded) + target.consulta_dir;
  auto lock = LockFile::try_take(run_lock_path(served), "velmora-ctl seed");
  if (!lock) {
    const auto holder = lock_holder(run_lock_path(served));
    console.err << "velmora-ctl seed: a run is in progress on these databases ("
                << (holder ? holder->program + ", pid " + std::to_string(holder->pid) : "?")
                << "); nothing changed\n";
    return kFailure;
  }
  const auto existing = seed::existing_database_files(target);
  if (!existing.empty() && !arguments.has("force")) {
    console.err << "velmora-ctl seed: refusing to replace existing databases:";
    for (const auto& path : existing) console.err << " " << path;
    console.err << " (give --force to replace them)\n";
    return kFailure;
  }

  const auto counts = seed::write_embedded_data_set(options, target);
  console.out << "Data set of " << options.interns << " interns (seed " << options.seed
              << ") made for " << date_text(options.today) << ":\n";
  std::map<std::string, std::string> per_catalog;
  for (const auto& c : counts) {
    std::string& line = per_catalog[c.catalog];
    line += (line.empty() ? "" : ", ") + c.table + " " + std::to_string(c.rows);
  }
  for (std::string_view catalog : catalogs::kCatalogs) {
    console.out << "  " << seed::database_file(target, catalog) << ": "
                << per_catalog[std::string(catalog)] << "\n";
  }
  return kSuccess;
}

}  // namespace

Command seed_command() {
  return {"seed",
          "make the embedded databases with a synthetic data set",
          "Makes Velmora.db, consulta_tessarin.db and CALVERIN.db with a realistic synthetic\n"
          "data set: interns with exams, grants, assignments, interruptions, commendations,\n"
          "sanctions and twelve months of payments, the organiser's units, a run log of\n"
          "earlier nights and consultation tables as the last night left them. A night run\n"
          "over it succeeds. The same --interns and --seed on the same day give the same\n"
          "rows (dates are counted back from the day of seeding). Without --dir the files go\n"
          "where this build's embedded servers are.\n",
          {{"interns", "N", "number of interns (default 2000)"},
           {"seed", "S", "seed of the random choices (default 1)"},
           {"dir", "DIR", "directory for the three files"},
           {"force", "", "replace databases that exist already"}},
          perform};
}

}  // namespace velmora::ctl
