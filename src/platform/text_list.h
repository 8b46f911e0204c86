#pragma once
// Lists of words in running text.

#include <string>
#include <vector>

// The items one after the other, separated by ", ": "PI=C201, PS=RADIO".
std::string JoinList(const std::vector<std::string>& Items);
