#include "platform/text_list.h"

std::string JoinList(const std::vector<std::string>& Items)
{
    std::string Out;
    for (const std::string& S : Items)
        Out += (Out.empty() ? "" : ", ") + S;
    return Out;
}
