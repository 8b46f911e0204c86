#include "platform/number_parse.h"

#include <limits>

std::optional<std::int32_t> ParseInt32(std::string_view Text)
{
    bool negative = false;
    if (!Text.empty() && (Text.front() == '+' || Text.front() == '-')) {
        negative = Text.front() == '-';
        Text.remove_prefix(1);
    }
    bool hex = false;
    if (!Text.empty() && Text.front() == '$') {
        hex = true;
        Text.remove_prefix(1);
    } else if (Text.size() >= 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
        hex = true;
        Text.remove_prefix(2);
    }
    const std::optional<std::uint32_t> digits
        = hex ? ParseHex<std::uint32_t>(Text) : ParseDecimal<std::uint32_t>(Text, false);
    if (!digits)
        return std::nullopt;
    if (hex && !negative)
        return static_cast<std::int32_t>(*digits);
    const std::int64_t value = negative ? -static_cast<std::int64_t>(*digits) : static_cast<std::int64_t>(*digits);
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}
