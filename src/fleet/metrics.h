#pragma once
// The fleet's metrics in the Prometheus text format (version 0.0.4), made
// from the last result of each site, so that a scrape costs no encoder
// traffic. Every series is labelled by site:
//
//   kvx_up                              1 read at the last attempt, else 0 with a reason label
//   kvx_profile_drift_settings          settings that differ from the profile and overrides
//   kvx_clock_drift_seconds             the encoder's clock minus the computer's
//   kvx_read_duration_seconds           how long the last attempt took
//   kvx_last_success_timestamp_seconds  when the site was last read
//   kvx_info                            serial, hardware, firmware, and the PI and PS held
//   kvx_profile_info                    the PI and PS the site's profile and overrides give
//
// What a read finds (drift, clock, info) is given only while the last
// attempt succeeded: a site that cannot be read shows no stale values.

#include "fleet/fleet_run.h"

#include <optional>
#include <string>
#include <vector>

struct TSiteMetrics {
    const TSite* Site = nullptr;
    // The last attempt's result (none before the first ended).
    std::optional<TSiteResult> Last;
    // How long the last attempt took.
    double AttemptSeconds = 0;
    // When the site was last read, seconds since 1970 (0: never).
    double LastSuccess = 0;
};

// The page /metrics serves.
std::string MetricsText(const std::vector<TSiteMetrics>& Sites);

// A label value as the text format writes it: UTF-8 with \, " and line
// feeds escaped.
std::string LabelValue(const std::string& Utf8);
