#pragma once

// The benchmark's data set is the synthetic data set of velmora-ctl seed
// (seed/data_set.h) with a fixed seed, made on the day of the measured
// night: N interns with their exams, grants, assignments, interruptions,
// commendations, sanctions and twelve payments each, the organiser's units,
// and the consultation tables as the previous night left them (with that
// night's snapshot pair, which the measured night's retention drops). The
// same N gives the same rows on every client, and every size has the same
// proportions.

#include <cstdint>
#include <string>

#include "seed/data_set.h"

namespace velmora::bench {

// The date of the measured night (clock 00:30:00 on this day). The previous
// night ran the day before, so its snapshots carry the suffix of two days
// before.
inline constexpr int kNightYear = 2026, kNightMonth = 12, kNightDay = 8;
inline constexpr std::uint64_t kSeed = 1;

// The generator's options for `interns` interns.
seed::Options data_set_options(int interns);

// Writes the data set into DIR/<catalog>.db for the three catalogs,
// replacing any files there, with the tables of a SQL Server installation,
// and analyses them.
void load_sqlite(const std::string& directory, int interns);

// Writes the data set into the three catalogs of the PostgreSQL server at
// `host`:`port` (as the superuser sa, trusted on loopback), whose tables must
// be empty, and analyses them.
void load_postgres(const std::string& host, const std::string& port, int interns);

}  // namespace velmora::bench
