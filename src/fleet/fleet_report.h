#pragma once
// A fleet run's results in words for a person: the status table, the
// commands of a diff, a push's report per site and a backup's. Encoder texts
// are shown in UTF-8 with control bytes as \xHH.

#include "fleet/fleet_run.h"

#include <string>
#include <vector>

// The status table: one line per site with its name, whether it was read,
// serial, hardware, firmware, clock drift and how many settings differ
// from its profile (and which), columns aligned; then one line per site
// that was not read, saying why.
std::string StatusTable(const std::vector<TSiteResult>& Results);

// The commands each site would receive, one a line: "north: PS=NORTH FM".
// Sites without a difference give no line; those not read are in
// NotReadText.
std::string DiffLines(const std::vector<TSiteResult>& Results);

// "SITE: not read: why", one line per site not read (empty when all were).
std::string NotReadText(const std::vector<TSiteResult>& Results);

// What a push did at each site: nothing to write, the commands applied and
// verified, a refusal with its command and reply, what was applied and what
// was not sent, or why nothing was written.
std::string PushReportText(const std::vector<TSiteResult>& Results);

// What a backup did at each site: the file new, changed (with its keys) or
// unchanged, or why not.
std::string BackupReportText(const std::vector<TSiteResult>& Results);

// The clock drift as the table shows it: "+0 s", "-3612 s"; "-" when unknown.
std::string DriftText(const TSiteResult& Result);

// Names joined with ", ".
std::string JoinNames(const std::vector<std::string>& Names);
