// Version string: any format is either refused (empty result) or formatted
// without reading an argument that is not there.
#include <cstdint>
#include <string>

#include "platform/version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    GetVersionString(std::string(reinterpret_cast<const char*>(Data), Size));
    return 0;
}
