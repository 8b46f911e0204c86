#include "platform/text.h"

#include <cctype>

std::string JoinList(const std::vector<std::string>& Items)
{
    std::string Out;
    for (const std::string& S : Items)
        Out += (Out.empty() ? "" : ", ") + S;
    return Out;
}

bool SameText(std::string_view A, std::string_view B)
{
    if (A.size() != B.size())
        return false;
    for (std::size_t i = 0; i < A.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(A[i])) != std::toupper(static_cast<unsigned char>(B[i])))
            return false;
    return true;
}
