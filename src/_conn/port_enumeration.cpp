#include "_conn/port_enumeration.h"

#include "_conn/port_descriptor.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

bool NaturalLess(const std::string& A, const std::string& B)
{
    std::size_t i = 0, j = 0;
    while (i < A.size() && j < B.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(A[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(B[j])) != 0;
        if (da && db) {
            std::size_t ei = i, ej = j;
            while (ei < A.size() && std::isdigit(static_cast<unsigned char>(A[ei])))
                ++ei;
            while (ej < B.size() && std::isdigit(static_cast<unsigned char>(B[ej])))
                ++ej;
            std::size_t si = i, sj = j;
            while (si + 1 < ei && A[si] == '0')
                ++si;
            while (sj + 1 < ej && B[sj] == '0')
                ++sj;
            const std::string na = A.substr(si, ei - si), nb = B.substr(sj, ej - sj);
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ei;
            j = ej;
            continue;
        }
        if (A[i] != B[j])
            return static_cast<unsigned char>(A[i]) < static_cast<unsigned char>(B[j]);
        ++i;
        ++j;
    }
    if ((A.size() - i) != (B.size() - j))
        return (A.size() - i) < (B.size() - j);
    return A < B;
}

std::vector<std::string> EnumerateSerialPorts(bool OnlyUseable, const std::string& SysRoot, const std::string& DevRoot)
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(SysRoot, ec);
    if (ec)
        return names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const fs::path entry = it->path();
        const std::string name = entry.filename().string();
        std::error_code e2;
        if (!fs::exists(entry / "device" / "driver", e2))
            continue;
        // On-board UART slots exist whether or not a UART sits behind them; the
        // empty ones report type 0 (unknown).
        if (name.rfind("ttyS", 0) == 0) {
            std::ifstream type(entry / "type");
            int value = -1;
            if (type >> value && value == 0)
                continue;
        }
        if (OnlyUseable && !OpenPortExclusive(DevRoot + "/" + name).Valid())
            continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}
