#pragma once
// The named properties a connection keeps (port name, address, ...).

#include <cstdint>
#include <string>
#include <vector>

enum TPropValueType : std::uint8_t { pvtUnknown = 0, pvtString = 1, pvtInteger = 2 };

struct TConnProp {
    std::string Name;                      // upper case
    TPropValueType ValueType = pvtUnknown; // fixed when the record is created
    std::int32_t ValueSize = 0;            // bytes at ValueData
    void* ValueData = nullptr;             // the connection's own copy (malloc'd)
};
using PConnProp = TConnProp*;

// A string property as UTF-8 (its UTF-16 characters up to the NUL); "" for a
// missing record or one that holds no string.
std::string PropAsString(const TConnProp* Prop);
// An integer property; 0 for a missing record or one that holds no integer.
std::int32_t PropAsInteger(const TConnProp* Prop);

using TStringDynArray = std::vector<std::string>;
