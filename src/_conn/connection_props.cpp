#include "_conn/connection_props.h"

#include "platform/utf.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::string UpperCase(const std::string& S)
{
    std::string r = S;
    for (char& c : r)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

} // namespace

std::string PropAsString(const TConnProp* Prop)
{
    if (!Prop || Prop->ValueType != pvtString || !Prop->ValueData)
        return {};
    std::u16string units(static_cast<std::size_t>(Prop->ValueSize) / 2, u'\0');
    std::memcpy(units.data(), Prop->ValueData, units.size() * 2);
    return Utf16ToUtf8(units);
}

std::int32_t PropAsInteger(const TConnProp* Prop)
{
    if (!Prop || Prop->ValueType != pvtInteger || !Prop->ValueData || Prop->ValueSize < 4)
        return 0;
    std::int32_t v;
    std::memcpy(&v, Prop->ValueData, 4);
    return v;
}

TConnProps::~TConnProps()
{
    for (PConnProp p : FProps) {
        std::free(p->ValueData);
        delete p;
    }
}

PConnProp TConnProps::Find(const std::string& Name) const
{
    const std::string upper = UpperCase(Name);
    for (PConnProp p : FProps)
        if (p->Name == upper)
            return p;
    return nullptr;
}

void TConnProps::Set(const std::string& PropName, TPropValueType PropType, const void* PropValue, std::int32_t PropSize)
{
    PConnProp p = Find(PropName);
    if (!p) {
        p = new TConnProp;
        p->Name = UpperCase(PropName);
        p->ValueType = PropType;
        FProps.push_back(p);
    }
    const std::size_t size = PropSize > 0 ? static_cast<std::size_t>(PropSize) : 0;
    if (size == 0) {
        std::free(p->ValueData);
        p->ValueData = nullptr;
    } else if (!p->ValueData) {
        p->ValueData = std::malloc(size);
    } else if (static_cast<std::size_t>(p->ValueSize) != size) {
        void* grown = std::realloc(p->ValueData, size);
        if (!grown)
            throw std::bad_alloc();
        p->ValueData = grown;
    }
    if (size > 0 && !p->ValueData)
        throw std::bad_alloc();
    p->ValueSize = static_cast<std::int32_t>(size);
    if (size > 0) {
        if (PropValue)
            std::memcpy(p->ValueData, PropValue, size);
        else
            std::memset(p->ValueData, 0, size);
    }
}

PConnProp TConnProps::Get(int Index) const
{
    if (Index < 0 || Index >= Count())
        return nullptr;
    return FProps[static_cast<std::size_t>(Index)];
}
