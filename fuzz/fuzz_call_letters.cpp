// RBDS call letters: any text converts; the call letters of a PI that came
// from text convert back to that PI.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rds/common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string Text(reinterpret_cast<const char*>(Data), Size);
    const std::uint16_t PI = CallLettersToPI(Text);
    if (PI != 0) {
        const std::string Letters = PIToCallLetters(PI);
        if (Letters == "----" || CallLettersToPI(Letters) != PI)
            std::abort();
    }
    if (Size >= 2)
        PIToCallLetters(static_cast<std::uint16_t>(Data[0] << 8 | Data[1]));
    return 0;
}
