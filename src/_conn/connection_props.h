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

// The records of one connection, in the order they were first set. Names are
// stored in upper case and found without regard to case; each record holds
// its own copy of the value.
class TConnProps {
public:
    TConnProps() = default;
    ~TConnProps();
    TConnProps(const TConnProps&) = delete;
    TConnProps& operator=(const TConnProps&) = delete;

    // The record of that name, or nullptr.
    PConnProp Find(const std::string& Name) const;
    // Sets the record's value (PropSize bytes of PropValue; zeroes when
    // PropValue is nullptr, nothing when PropSize is not positive), making the
    // record with PropType when there is none. Raises std::bad_alloc.
    void Set(const std::string& PropName, TPropValueType PropType, const void* PropValue, std::int32_t PropSize);
    // The record at Index, or nullptr outside 0..Count()-1.
    PConnProp Get(int Index) const;
    int Count() const { return static_cast<int>(FProps.size()); }

private:
    std::vector<PConnProp> FProps;
};
