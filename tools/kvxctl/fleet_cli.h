#pragma once
// What kvxctl's fleet and exporter commands share: their options, the site
// list read and checked as a whole before anything is opened, and the run's
// options from the command line.

#include "fleet/fleet_run.h"
#include "json.h"
#include "options.h"

#include <string>

inline constexpr TOptionSpec JobsOption {"jobs", 0, "N", "sites talked to at once (default 8)"};
inline constexpr TOptionSpec SiteTimeoutOption {
    "site-timeout", 0, "SECONDS", "longest a site may take, connect included\n(default 60)"};

// Reads the site list at Path. 0 with List when it is sound (its notes
// said); otherwise every finding is printed as FILE:LINE: reason and the
// answer is ecInvalid (64 for a list that cannot be read): nothing is opened.
int LoadSites(const std::string& Path, TSiteList& List);

// The run's options from the command line (jobs, time-outs, interrupts).
// Answers why they are wrong, empty when they are not.
std::string FleetOptionsFrom(const TOptions& O, TFleetOptions& F);

// A site's result as JSON: what every task gives, and what its task adds.
TJson SiteJson(const TSiteResult& Result, TFleetTask Task);
