#include "encoder_model.h"

#include "platform/number_parse.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string_view>
#include <utility>

namespace kvxsim {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHex(char c)
{
    return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A plain decimal number within [lo, hi]; no sign, no blanks.
std::optional<int> decimal(const std::string& s, int lo, int hi)
{
    if (s.size() > 6)
        return std::nullopt;
    const std::optional<int> v = ParseDecimal<int>(s, false);
    if (!v || *v < lo || *v > hi)
        return std::nullopt;
    return v;
}

int twoDigits(const std::string& s, std::size_t at)
{
    if (at + 2 > s.size() || !isDigit(s[at]) || !isDigit(s[at + 1]))
        return -1;
    return (s[at] - '0') * 10 + (s[at + 1] - '0');
}

// Printable 8-bit text: no control characters (below 0x20, or DEL).
bool printable(const std::string& s, std::size_t maxLen)
{
    if (s.size() > maxLen)
        return false;
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

std::string quoted(const std::string& s, std::size_t padTo)
{
    std::string r = "\"" + s;
    if (s.size() < padTo)
        r.append(padTo - s.size(), ' ');
    return r + "\"";
}

long long floorDiv(long long a, long long b)
{
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

int weekday(long long days)
{ // 0 = Sunday; 1970-01-01 was a Thursday
    return static_cast<int>(((days + 4) % 7 + 7) % 7);
}

long long nthSunday(int y, int m, int n)
{
    long long first = daysFromCivil(y, m, 1);
    return first + (7 - weekday(first)) % 7 + 7LL * (n - 1);
}

long long lastSunday(int y, int m)
{
    long long last = daysFromCivil(y, m, daysInMonth(y, m));
    return last - weekday(last);
}

const char* const kSyncWords[] = {"AUTO", "INT", "EXT"};
const char* const kDstWords[] = {"OFF", "EU", "USA", "MANUAL"};

} // namespace

Command parseCommand(const std::string& line)
{
    Command c;
    auto eq = line.find('=');
    if (eq != std::string::npos) {
        c.kind = Command::Set;
        c.word = line.substr(0, eq);
        c.value = line.substr(eq + 1);
    } else if (!line.empty() && line.back() == '?') {
        c.kind = Command::Query;
        c.word = line.substr(0, line.size() - 1);
    } else {
        c.word = line;
    }
    return c;
}

bool faultMatches(const std::string& pattern, const Command& cmd)
{
    if (pattern.empty())
        return false;
    char last = pattern.back();
    if (last == '?')
        return cmd.kind == Command::Query && cmd.word == pattern.substr(0, pattern.size() - 1);
    if (last == '=')
        return cmd.kind == Command::Set && cmd.word == pattern.substr(0, pattern.size() - 1);
    return cmd.word == pattern;
}

long long daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const long long era = floorDiv(y, 400);
    const long long yoe = y - era * 400;
    const long long doy = (153LL * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, int& y, int& m, int& d)
{
    z += 719468;
    const long long era = floorDiv(z, 146097);
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

int daysInMonth(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0))
        return 29;
    return days[m - 1];
}

bool isDst(int rule, long long utc, int offsetMinutes)
{
    int y, m, d;
    switch (rule) {
    case 1: { // EU: last Sunday of March to last Sunday of October, 01:00 UTC
        civilFromDays(floorDiv(utc, 86400), y, m, d);
        long long start = lastSunday(y, 3) * 86400 + 3600;
        long long end = lastSunday(y, 10) * 86400 + 3600;
        return utc >= start && utc < end;
    }
    case 2: { // USA: second Sunday of March 02:00 standard time to first
              // Sunday of November 02:00 daylight time (01:00 standard)
        long long local = utc + offsetMinutes * 60LL;
        civilFromDays(floorDiv(local, 86400), y, m, d);
        long long start = nthSunday(y, 3, 2) * 86400 + 7200;
        long long end = nthSunday(y, 11, 1) * 86400 + 3600;
        return local >= start && local < end;
    }
    case 3:
        return true;
    default:
        return false;
    }
}

int firmwareLevel(const std::string& fw)
{
    int major = twoDigits(fw, 0);
    int minor = twoDigits(fw, 3);
    if (major < 0 || minor < 0)
        return 0;
    return major * 100 + minor;
}

EncoderModel::EncoderModel(Options options) : options_(std::move(options)), level_(firmwareLevel(options_.firmware))
{
}

bool EncoderModel::gated(const std::string& word) const
{
    return level_ < 103 && (word == "ISDST" || word == "SYNC" || word == "DST");
}

std::optional<std::string> EncoderModel::handle(const std::string& line, long long hostUtc)
{
    changed_ = false;
    const Command cmd = parseCommand(line);
    for (const auto& p : options_.mute)
        if (faultMatches(p, cmd))
            return std::nullopt;
    for (const auto& p : options_.refuse)
        if (faultMatches(p, cmd))
            return no();
    for (const auto& p : options_.garbage)
        if (faultMatches(p, cmd))
            return "\r\n#?x\r\n" + ok().substr(2);
    for (const auto& r : options_.replies)
        if (faultMatches(r.pattern, cmd))
            return r.bytes;
    if (gated(cmd.word))
        return no();

    switch (cmd.kind) {
    case Command::Query: {
        auto lines = query(cmd.word, hostUtc);
        if (!lines)
            return no();
        return "\r\n" + *lines + ok();
    }
    case Command::Set:
        return set(cmd.word, cmd.value, hostUtc) ? ok() : no();
    case Command::Plain:
        if (cmd.word == "INIT") {
            settings_ = Settings {};
            changed_ = true;
            return ok();
        }
        return no();
    }
    return no();
}

std::optional<std::string> EncoderModel::query(const std::string& w, long long hostUtc) const
{
    const Settings& s = settings_;
    const long long now = hostUtc + skew_;
    char buf[32];
    if (w == "REV") {
        if (options_.revOneLine)
            return "HW:" + options_.hardware;
        return "HW:" + options_.hardware + "\r\nFW:" + options_.firmware;
    }
    if (w == "SER")
        return options_.serial;
    if (w == "PI") {
        std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(s.pi));
        return std::string(buf);
    }
    if (w == "PS")
        return quoted(s.ps, 0);
    if (w == "TEXT")
        return quoted(s.text, 64);
    if (w == "DPS")
        return quoted(s.dps, 64);
    if (w == "MODE")
        return std::string(s.mode ? "SIDE" : "LOOP");
    if (w == "SYNC")
        return std::string(kSyncWords[s.sync]);
    if (w == "DST")
        return std::string(kDstWords[s.dst]);
    if (w == "ISDST")
        return std::string(isDst(s.dst, now, s.offset) ? "1" : "0");
    if (w == "PILOT") {
        if (options_.pilotLocked)
            return std::string("LOCK");
        return std::string(level_ >= 103 ? "NOLOCK" : "FREE");
    }
    if (w == "DATE" || w == "TIME") {
        long long days = floorDiv(now, 86400);
        long long sec = now - days * 86400;
        if (w == "TIME") {
            std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(sec / 3600),
                static_cast<int>(sec / 60 % 60), static_cast<int>(sec % 60));
        } else {
            int y, m, d;
            civilFromDays(days, y, m, d);
            std::snprintf(buf, sizeof buf, "%02d.%02d.%02d", d, m, ((y % 100) + 100) % 100);
        }
        return std::string(buf);
    }
    if (w == "OFFSET") {
        int a = s.offset < 0 ? -s.offset : s.offset;
        std::snprintf(buf, sizeof buf, "%c%02d:%02d", s.offset < 0 ? '-' : '+', a / 60, a % 60);
        return std::string(buf);
    }
    int v;
    if (w == "PTY")
        v = s.pty;
    else if (w == "TA")
        v = s.ta;
    else if (w == "TP")
        v = s.tp;
    else if (w == "TATIME")
        v = s.taTime;
    else if (w == "MS")
        v = s.ms;
    else if (w == "DI")
        v = s.di;
    else if (w == "DPSS")
        v = s.dpss;
    else if (w == "PARSE")
        v = s.parse;
    else if (w == "PHASE")
        v = s.phase;
    else if (w == "CT")
        v = s.ct;
    else if (w == "DRTS")
        v = s.drts;
    else if (w.size() == 3 && w.compare(0, 2, "AF") == 0 && w[2] >= '1' && w[2] <= '7')
        v = s.af[w[2] - '1'];
    else
        return std::nullopt;
    return std::to_string(v);
}

bool EncoderModel::set(const std::string& w, const std::string& value, long long hostUtc)
{
    Settings& s = settings_;
    auto num = [&](int& field, int lo, int hi) {
        auto v = decimal(value, lo, hi);
        if (!v)
            return false;
        field = *v;
        changed_ = true;
        return true;
    };
    auto txt = [&](std::string& field, std::size_t maxLen) {
        if (!printable(value, maxLen))
            return false;
        field = value;
        changed_ = true;
        return true;
    };
    if (w == "ECHO") {
        auto v = decimal(value, 0, 1);
        if (!v)
            return false;
        echo_ = *v == 1;
        return true;
    }
    if (w == "PI") {
        if (value.size() != 4)
            return false;
        for (char c : value)
            if (!isHex(c))
                return false;
        s.pi = ParseHex<std::uint16_t>(value).value_or(0);
        changed_ = true;
        return true;
    }
    if (w == "PS")
        return txt(s.ps, 8);
    if (w == "TEXT")
        return txt(s.text, 64);
    if (w == "DPS")
        return txt(s.dps, 64);
    if (w == "PTY")
        return num(s.pty, 0, 31);
    if (w == "TA")
        return num(s.ta, 0, 1);
    if (w == "TP")
        return num(s.tp, 0, 1);
    if (w == "MS")
        return num(s.ms, 0, 1);
    if (w == "CT")
        return num(s.ct, 0, 1);
    if (w == "TATIME")
        return num(s.taTime, 0, 255);
    if (w == "DI")
        return num(s.di, 0, 15);
    if (w == "MODE")
        return num(s.mode, 0, 1);
    if (w == "DRTS")
        return num(s.drts, 0, 9);
    if (w == "DPSS")
        return num(s.dpss, 0, 9);
    if (w == "PARSE")
        return num(s.parse, 0, 9);
    if (w == "PHASE")
        return num(s.phase, 0, 3599);
    if (w == "SYNC")
        return num(s.sync, 0, 2);
    if (w == "DST")
        return num(s.dst, 0, 3);
    if (w.size() == 3 && w.compare(0, 2, "AF") == 0 && w[2] >= '1' && w[2] <= '7')
        return num(s.af[w[2] - '1'], 0, 204);
    if (w == "OFFSET") {
        if (value.size() != 6 || (value[0] != '+' && value[0] != '-') || value[3] != ':')
            return false;
        int h = twoDigits(value, 1), m = twoDigits(value, 4);
        // Quarter hours, which hold every offset a zone has (+05:30, +05:45,
        // +12:45).
        if (h < 0 || h > 15 || m % 15 != 0 || m > 45)
            return false;
        s.offset = (value[0] == '-' ? -1 : 1) * (h * 60 + m);
        changed_ = true;
        return true;
    }
    if (w == "DATE" || w == "TIME") {
        if (value.size() != 8)
            return false;
        const char sep = w == "DATE" ? '.' : ':';
        if (value[2] != sep || value[5] != sep)
            return false;
        int a = twoDigits(value, 0), b = twoDigits(value, 3), c = twoDigits(value, 6);
        if (a < 0 || b < 0 || c < 0)
            return false;
        const long long now = hostUtc + skew_;
        long long days = floorDiv(now, 86400);
        long long sec = now - days * 86400;
        if (w == "DATE") {
            if (b < 1 || b > 12 || a < 1 || a > daysInMonth(2000 + c, b))
                return false;
            days = daysFromCivil(2000 + c, b, a);
        } else {
            if (a > 23 || b > 59 || c > 59)
                return false;
            sec = a * 3600LL + b * 60LL + c;
        }
        skew_ = days * 86400 + sec - hostUtc;
        changed_ = true;
        return true;
    }
    return false;
}

std::string EncoderModel::saveState() const
{
    const Settings& s = settings_;
    std::ostringstream o;
    char pi[8];
    std::snprintf(pi, sizeof pi, "%04X", static_cast<unsigned>(s.pi));
    o << "PI=" << pi << "\nPS=" << s.ps << "\nPTY=" << s.pty << "\nTA=" << s.ta << "\nTP=" << s.tp
      << "\nTATIME=" << s.taTime << "\nMS=" << s.ms << "\nDI=" << s.di << "\nMODE=" << s.mode << "\nTEXT=" << s.text
      << "\nDPS=" << s.dps << "\nDPSS=" << s.dpss << "\nPARSE=" << s.parse;
    for (int i = 0; i < 7; ++i)
        o << "\nAF" << i + 1 << "=" << s.af[i];
    o << "\nPHASE=" << s.phase << "\nCT=" << s.ct << "\nDRTS=" << s.drts;
    int a = s.offset < 0 ? -s.offset : s.offset;
    char off[16];
    std::snprintf(off, sizeof off, "%c%02d:%02d", s.offset < 0 ? '-' : '+', a / 60, a % 60);
    o << "\nOFFSET=" << off << "\nSYNC=" << s.sync << "\nDST=" << s.dst << "\nCLOCKSKEW=" << skew_ << "\n";
    return o.str();
}

void EncoderModel::loadState(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        Command c = parseCommand(line);
        if (c.kind != Command::Set || c.word == "ECHO")
            continue;
        if (c.word == "CLOCKSKEW") {
            std::string_view text(c.value);
            while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
                text.remove_prefix(1);
            if (const std::optional<long long> v = ParseDecimal<long long>(text))
                skew_ = *v;
            continue;
        }
        set(c.word, c.value, 0); // invalid lines are skipped by validation
    }
    changed_ = false;
}

} // namespace kvxsim
