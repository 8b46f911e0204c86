// The simulated encoder's state and command interpreter, free of any I/O:
// one command line in, the reply bytes out.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace kvxsim {

// Every setting the encoder keeps, with its factory default.
struct Settings {
    std::uint16_t pi = 0xFFFF; // 0000 is not a valid station
    std::string ps = "RDS";
    int pty = 0;
    int ta = 0;
    int tp = 0;
    int taTime = 0;
    int ms = 1;
    int di = 1;
    int mode = 0; // 0 loop-through, 1 side-chain
    std::string text;
    std::string dps;
    int dpss = 0;
    int parse = 0;
    std::array<int, 7> af {};
    int phase = 0;
    int ct = 1;
    int drts = 0;
    int offset = 0; // minutes east of UTC
    int sync = 0;   // 0 auto, 1 internal, 2 external
    int dst = 0;    // 0 off, 1 EU, 2 USA, 3 manual
    bool operator==(const Settings&) const = default;
};

// A command line taken apart: "WORD?" (query), "WORD=value" (setting) or "WORD".
struct Command {
    enum Kind { Query, Set, Plain } kind = Plain;
    std::string word;
    std::string value;
};
Command parseCommand(const std::string& line);

// A fault pattern: "WORD" matches every form of the word, "WORD?" only its
// query, "WORD=" only its setting.
bool faultMatches(const std::string& pattern, const Command& cmd);

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long long daysFromCivil(int y, int m, int d);
void civilFromDays(long long days, int& y, int& m, int& d);
int daysInMonth(int y, int m);

// Whether daylight-saving time is in force at UTC second `utc` under `rule`
// (0 off, 1 EU, 2 USA, 3 manual) for a zone `offsetMinutes` east of UTC.
bool isDst(int rule, long long utc, int offsetMinutes);

// "01.03.105 ..." -> 103: characters 1-2 and 4-5 as decimal numbers, the
// third character whatever it is (the manager reads the level the same way);
// 0 when they are not numbers.
int firmwareLevel(const std::string& firmware);

// A reply that replaces the model's answer to the commands `pattern` matches
// (as a fault pattern): `bytes` are sent as they are.
struct CannedReply {
    std::string pattern;
    std::string bytes;
};

struct Options {
    std::string firmware = "01.03.105  2015/03/10 12:00:00";
    std::string hardware = "KVX-1";
    std::string serial = "000001";
    bool pilotLocked = true;
    std::vector<std::string> refuse;
    std::vector<std::string> mute;
    std::vector<std::string> garbage;
    std::vector<CannedReply> replies;
    bool revOneLine = false; // REV? answers the hardware line only
};

class EncoderModel {
public:
    explicit EncoderModel(Options options);

    // Handles one non-empty command line at host time `hostUtc` (seconds).
    // Returns the reply bytes, or nothing when the reply is muted.
    std::optional<std::string> handle(const std::string& line, long long hostUtc);

    bool echo() const { return echo_; }
    const Settings& settings() const { return settings_; }
    int level() const { return level_; }
    // Encoder clock minus host clock, in seconds.
    long long clockSkew() const { return skew_; }
    // Set when the last handled command changed what the state file keeps.
    bool changed() const { return changed_; }

    // The persistent part as "WORD=value" lines, and its restoration; lines
    // that are not valid settings are skipped.
    std::string saveState() const;
    void loadState(const std::string& text);

    static std::string ok() { return "\r\nOK\r\n"; }
    static std::string no() { return "\r\nNO\r\n"; }

private:
    std::optional<std::string> query(const std::string& word, long long hostUtc) const;
    bool set(const std::string& word, const std::string& value, long long hostUtc);
    bool gated(const std::string& word) const;

    Options options_;
    int level_;
    Settings settings_;
    bool echo_ = true;
    long long skew_ = 0;
    bool changed_ = false;
};

} // namespace kvxsim
