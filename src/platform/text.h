#pragma once
// Small helpers for running text.

#include <string>
#include <string_view>
#include <vector>

// The items one after the other, separated by ", ": "PI=C201, PS=RADIO".
std::string JoinList(const std::vector<std::string>& Items);

// Whether A and B are the same text but for the case of ASCII letters
// ("Pilot" and "PILOT"); keys and section names are compared this way.
bool SameText(std::string_view A, std::string_view B);
