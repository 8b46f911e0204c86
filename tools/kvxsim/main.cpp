// kvxsim: a simulated RDS encoder on a pseudo-terminal or serial device.
#include "encoder_model.h"
#include "platform/atomic_file.h"
#include "platform/number_parse.h"
#include "platform/version.h"

#include <getopt.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

const char kUsage[] = "Usage: kvxsim [OPTION]...\n"
                      "Plays an RDS encoder on a new pseudo-terminal (or a given serial device)\n"
                      "and prints the terminal's path as the first line on standard output.\n"
                      "\n"
                      "Commands are lines ended by CR, LF or CR LF; empty lines are ignored.\n"
                      "Every line gets one reply: value lines, then CR LF \"OK\" CR LF, or\n"
                      "CR LF \"NO\" CR LF when refused. A query reply is CR LF, the value lines\n"
                      "separated by CR LF, then CR LF \"OK\" CR LF (PI? -> \\r\\nFFFF\\r\\nOK\\r\\n).\n"
                      "Echo is on at power-up; ECHO=0 / ECHO=1 switch it. INIT restores the\n"
                      "factory settings. The clock keeps UTC and runs from the host's clock or\n"
                      "from the last DATE=/TIME= setting. Below firmware 01.03 the words ISDST,\n"
                      "SYNC and DST are unknown.\n"
                      "The terminal stays when a client closes it and serves the next client;\n"
                      "replies the leaving client did not read are dropped.\n"
                      "\n"
                      "Options:\n"
                      "  --device PATH      serve this serial device instead of a pseudo-terminal\n"
                      "  --link PATH        also make a symbolic link PATH to the terminal\n"
                      "                     (removed at the end)\n"
                      "  --firmware TEXT    firmware text (default \"01.03.105  2015/03/10 12:00:00\");\n"
                      "                     its leading \"MM.mm\" is the firmware level\n"
                      "  --hardware TEXT    hardware text (default \"KVX-1\")\n"
                      "  --serial TEXT      serial number (default \"000001\")\n"
                      "  --pilot lock|free  pilot state: PILOT? answers LOCK, or when free NOLOCK\n"
                      "                     (FREE below firmware 01.03); default lock\n"
                      "  --state FILE       keep the settings in FILE across restarts (read at\n"
                      "                     start, written atomically after every change)\n"
                      "  --log FILE         append every received command line to FILE\n"
                      "Faults (WORD is a command word, or a word with \"?\" or \"=\" to match only\n"
                      "its query or its setting; the options may be repeated):\n"
                      "  --refuse WORD      answer NO (the command is not carried out)\n"
                      "  --mute WORD        answer nothing at all (not carried out either)\n"
                      "  --garbage WORD     answer a value line that is not a number, then OK\n"
                      "  --bare-ok WORD     answer a bare OK, without the value lines of a query\n"
                      "                     (a setting is not carried out)\n"
                      "  --reply WORD=TEXT  answer the value line TEXT, then OK, instead of what\n"
                      "                     the model would (not carried out); in TEXT \\r and \\n\n"
                      "                     stand for CR and LF, \\\\ for a backslash; WORD ends at\n"
                      "                     the first \"=\", and WORD==TEXT matches only the setting\n"
                      "                     (example: --reply SYNC?=ext)\n"
                      "  --rev-one-line     REV? answers the hardware line only, no firmware line\n"
                      "  --delay MS         wait MS milliseconds before every reply (counted from\n"
                      "                     the reply before it when that one is still due)\n"
                      "  --delay-word WORD=MS  wait MS milliseconds more before the replies to\n"
                      "                     WORD (example: --delay-word INIT=1500)\n"
                      "  --baud N           behave as a line of N bit/s (10 bits a byte) in both\n"
                      "                     directions: a byte from the client counts as received,\n"
                      "                     and a byte to it is delivered, only once its last bit\n"
                      "                     would have crossed the line, byte after byte. At the\n"
                      "                     end the bytes each way and their wire time are\n"
                      "                     written to the error output\n"
                      "  --chunk N          deliver replies in pieces of N bytes...\n"
                      "  --chunk-gap MS     ...MS milliseconds apart (default 20)\n"
                      "  --hangup-after N   after answering N commands the terminal goes away as\n"
                      "                     an unplugged adapter does: nothing after the Nth\n"
                      "                     command is echoed or answered; the program then waits\n"
                      "                     for SIGINT/SIGTERM\n"
                      "  --babble           send an endless stream of bytes without any line end\n"
                      "                     instead of answering\n"
                      "  --help             show this text\n"
                      "  --version          show the version\n"
                      "Options take their value as --opt VALUE or --opt=VALUE.\n"
                      "\n"
                      "SIGINT or SIGTERM end the program cleanly.\n";

int gSignalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char b = 1;
    [[maybe_unused]] auto n = write(gSignalPipe[1], &b, 1);
}

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

long long nowNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

constexpr long long kNsPerMs = 1000000;

long long hostUtc()
{
    return static_cast<long long>(std::time(nullptr));
}

bool makeRaw(int fd)
{
    termios t {};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

struct Config {
    kvxsim::Options model;
    std::string device, link, state, log;
    long long delayMs = 0;
    // Extra delays for the commands a fault pattern matches.
    std::vector<std::pair<std::string, long long>> wordDelays;
    long long baud = 0;
    std::size_t chunk = 0;
    long long chunkGapMs = 20;
    long long hangupAfter = -1;
    bool babble = false;
};

bool parseNumber(const char* s, long long& out)
{
    std::string_view text(s);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    const std::optional<long long> v = ParseDecimal<long long>(text);
    if (!v || *v < 0)
        return false;
    out = *v;
    return true;
}

// WORD=TEXT of --reply: the word ends at the first "=" (WORD==TEXT keeps one
// "=" in it, so that it matches the setting only); \r, \n and \\ in TEXT
// stand for CR, LF and a backslash.
bool splitReply(const std::string& arg, std::string& pattern, std::string& text)
{
    std::size_t eq = arg.find('=');
    if (eq == std::string::npos || eq == 0)
        return false;
    std::size_t from = eq + 1;
    if (from < arg.size() && arg[from] == '=') {
        ++eq;
        ++from;
    }
    pattern = arg.substr(0, eq);
    text.clear();
    for (std::size_t i = from; i < arg.size(); ++i) {
        char c = arg[i];
        if (c == '\\' && i + 1 < arg.size()) {
            const char e = arg[++i];
            c = e == 'r' ? '\r' : e == 'n' ? '\n' : e;
        }
        text += c;
    }
    return true;
}

enum : int {
    optDevice = 0x100, // past every character a short option could be
    optLink,
    optFirmware,
    optHardware,
    optSerial,
    optPilot,
    optState,
    optLog,
    optRefuse,
    optMute,
    optGarbage,
    optBareOk,
    optReply,
    optRevOneLine,
    optDelay,
    optDelayWord,
    optBaud,
    optChunk,
    optChunkGap,
    optHangupAfter,
    optBabble,
    optHelp,
    optVersion,
};

// In the order of the values above.
const option kLongOptions[] = {
    {"device", required_argument, nullptr, optDevice},
    {"link", required_argument, nullptr, optLink},
    {"firmware", required_argument, nullptr, optFirmware},
    {"hardware", required_argument, nullptr, optHardware},
    {"serial", required_argument, nullptr, optSerial},
    {"pilot", required_argument, nullptr, optPilot},
    {"state", required_argument, nullptr, optState},
    {"log", required_argument, nullptr, optLog},
    {"refuse", required_argument, nullptr, optRefuse},
    {"mute", required_argument, nullptr, optMute},
    {"garbage", required_argument, nullptr, optGarbage},
    {"bare-ok", required_argument, nullptr, optBareOk},
    {"reply", required_argument, nullptr, optReply},
    {"rev-one-line", no_argument, nullptr, optRevOneLine},
    {"delay", required_argument, nullptr, optDelay},
    {"delay-word", required_argument, nullptr, optDelayWord},
    {"baud", required_argument, nullptr, optBaud},
    {"chunk", required_argument, nullptr, optChunk},
    {"chunk-gap", required_argument, nullptr, optChunkGap},
    {"hangup-after", required_argument, nullptr, optHangupAfter},
    {"babble", no_argument, nullptr, optBabble},
    {"help", no_argument, nullptr, optHelp},
    {"version", no_argument, nullptr, optVersion},
    {nullptr, 0, nullptr, 0},
};

// What getopt_long could not take, in one line: the word it stopped at.
void reportFault(int code, const char* word)
{
    const std::string w = word;
    const std::string name = w.substr(0, w.find('='));
    bool isSwitch = false;
    for (const option* o = kLongOptions; o->name; ++o)
        isSwitch = isSwitch || (name == std::string("--") + o->name && o->has_arg == no_argument);
    if (code == ':')
        std::cerr << "kvxsim: " << name << " needs a value (see --help)\n";
    else if (isSwitch && w.find('=') != std::string::npos)
        std::cerr << "kvxsim: " << name << " takes no value (see --help)\n";
    else
        std::cerr << "kvxsim: unknown option " << name << " (see --help)\n";
}

// Takes one option's value into the configuration; false after saying why it is refused.
bool takeOption(int code, const char* v, Config& cfg)
{
    const std::string a = std::string("--") + kLongOptions[code - optDevice].name;
    auto number = [&](long long& field, long long min) {
        long long n = 0;
        if (!parseNumber(v, n) || n < min) {
            std::cerr << "kvxsim: " << a << ": not a valid number: " << v << "\n";
            return false;
        }
        field = n;
        return true;
    };
    switch (code) {
    case optDevice:
        cfg.device = v;
        return true;
    case optLink:
        cfg.link = v;
        return true;
    case optFirmware:
        cfg.model.firmware = v;
        return true;
    case optHardware:
        cfg.model.hardware = v;
        return true;
    case optSerial:
        cfg.model.serial = v;
        return true;
    case optState:
        cfg.state = v;
        return true;
    case optLog:
        cfg.log = v;
        return true;
    case optRefuse:
        cfg.model.refuse.push_back(v);
        return true;
    case optMute:
        cfg.model.mute.push_back(v);
        return true;
    case optGarbage:
        cfg.model.garbage.push_back(v);
        return true;
    case optBareOk:
        cfg.model.replies.push_back({v, kvxsim::EncoderModel::ok()});
        return true;
    case optRevOneLine:
        cfg.model.revOneLine = true;
        return true;
    case optBabble:
        cfg.babble = true;
        return true;
    case optReply: {
        std::string pattern, text;
        if (!splitReply(v, pattern, text)) {
            std::cerr << "kvxsim: --reply takes WORD=TEXT: " << v << "\n";
            return false;
        }
        cfg.model.replies.push_back({pattern, "\r\n" + text + kvxsim::EncoderModel::ok()});
        return true;
    }
    case optPilot:
        if (std::string(v) != "lock" && std::string(v) != "free") {
            std::cerr << "kvxsim: --pilot takes lock or free\n";
            return false;
        }
        cfg.model.pilotLocked = std::string(v) == "lock";
        return true;
    case optDelay:
        return number(cfg.delayMs, 0);
    case optDelayWord: {
        const std::string arg = v;
        const std::size_t eq = arg.rfind('=');
        long long ms = 0;
        if (eq == std::string::npos || eq == 0 || !parseNumber(arg.c_str() + eq + 1, ms)) {
            std::cerr << "kvxsim: --delay-word takes WORD=MS: " << v << "\n";
            return false;
        }
        cfg.wordDelays.emplace_back(arg.substr(0, eq), ms);
        return true;
    }
    case optBaud:
        return number(cfg.baud, 1);
    case optChunkGap:
        return number(cfg.chunkGapMs, 0);
    case optHangupAfter:
        return number(cfg.hangupAfter, 0);
    case optChunk: {
        long long c = 0;
        if (!number(c, 1))
            return false;
        cfg.chunk = static_cast<std::size_t>(c);
        return true;
    }
    default:
        return false;
    }
}

// Reads the command line by getopt_long's rules (--opt=value or --opt value,
// unique abbreviations). Returns 0 to go on, or the exit code (+1) to end with.
int parseArgs(int argc, char** argv, Config& cfg)
{
    opterr = 0;
    optind = 0;
    for (int code; (code = getopt_long(argc, argv, ":h", kLongOptions, nullptr)) != -1;) {
        if (code == 'h' || code == optHelp) {
            std::cout << kUsage;
            return 1;
        }
        if (code == optVersion) {
            std::cout << "kvxsim " << GetVersionString("%d.%d.%d.%d") << "\n";
            return 1;
        }
        if (code == '?' || code == ':') {
            if (optopt && optopt < optDevice)
                std::cerr << "kvxsim: unknown option -" << static_cast<char>(optopt) << " (see --help)\n";
            else
                reportFault(code, argv[optind - 1]);
            return 3;
        }
        if (!takeOption(code, optarg, cfg))
            return 3;
    }
    if (optind < argc) {
        std::cerr << "kvxsim: takes no arguments, not '" << argv[optind] << "' (see --help)\n";
        return 3;
    }
    return 0;
}

class Server {
public:
    explicit Server(Config cfg) : cfg_(std::move(cfg)), model_(cfg_.model) { }

    int run()
    {
        if (!cfg_.state.empty()) {
            std::ifstream in(cfg_.state, std::ios::binary);
            if (in) {
                std::ostringstream text;
                text << in.rdbuf();
                model_.loadState(text.str());
            }
        }
        if (!cfg_.log.empty()) {
            log_.open(cfg_.log, std::ios::app | std::ios::binary);
            if (!log_) {
                std::cerr << "kvxsim: cannot open log file " << cfg_.log << "\n";
                return 2;
            }
        }
        std::string path;
        if (!openTerminal(path))
            return 2;
        if (!cfg_.link.empty()) {
            unlink(cfg_.link.c_str());
            if (symlink(path.c_str(), cfg_.link.c_str()) != 0) {
                std::cerr << "kvxsim: cannot make link " << cfg_.link << ": " << std::strerror(errno) << "\n";
                closeTerminal();
                return 2;
            }
        }
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);

        if (cfg_.baud > 0) {
            byteNs_ = 10 * 1000000000LL / cfg_.baud;
            // Byte times reach down to microseconds: wake-ups must not be
            // rounded up to the default timer slack.
            prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
        }
        const int rc = loop();
        closeTerminal();
        if (!cfg_.link.empty())
            unlink(cfg_.link.c_str());
        if (cfg_.baud > 0)
            reportLine();
        return rc;
    }

private:
    struct Piece {
        long long due; // steady clock, ns: not sent before
        std::string bytes;
    };
    struct InByte {
        long long due; // steady clock, ns: received (its last bit in) at
        char c;
    };

    bool openTerminal(std::string& path)
    {
        if (!cfg_.device.empty()) {
            fd_ = open(cfg_.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (fd_ < 0) {
                std::cerr << "kvxsim: cannot open " << cfg_.device << ": " << std::strerror(errno) << "\n";
                return false;
            }
            makeRaw(fd_);
            path = cfg_.device;
            return true;
        }
        fd_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
            std::cerr << "kvxsim: cannot create a pseudo-terminal: " << std::strerror(errno) << "\n";
            return false;
        }
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
        fcntl(fd_, F_SETFD, FD_CLOEXEC);
        const char* name = ptsname(fd_);
        if (!name)
            return false;
        path = name;
        ptsName_ = name;
        // The terminal's settings outlive each client's open and close.
        int s = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (s < 0 || !makeRaw(s)) {
            std::cerr << "kvxsim: cannot set up " << name << ": " << std::strerror(errno) << "\n";
            if (s >= 0)
                close(s);
            return false;
        }
        close(s);
        // Every open of the terminal is a moment to look for a client: no
        // need to look at a pace while there is none.
        watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch_ >= 0 && inotify_add_watch(watch_, name, IN_OPEN) < 0) {
            close(watch_);
            watch_ = -1;
        }
        return true;
    }

    void closeTerminal()
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
        if (watch_ >= 0)
            close(watch_);
        watch_ = -1;
    }

    // The bytes that crossed the line each way and the time they took on it.
    void reportLine() const
    {
        std::fprintf(stderr,
            "kvxsim: line of %lld bit/s: %lld bytes in, %lld bytes out, wire time %.3f ms, latest byte %.3f ms "
            "behind its time\n",
            cfg_.baud, bytesIn_, bytesOut_, static_cast<double>((bytesIn_ + bytesOut_) * byteNs_) / kNsPerMs,
            static_cast<double>(maxLateNs_) / kNsPerMs);
    }

    // Bytes written to the client that it has not read yet (pseudo-terminal only).
    int unreadByClient() const
    {
        if (ptsName_.empty())
            return 0;
        int s = open(ptsName_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (s < 0)
            return 0;
        int unread = 0;
        if (ioctl(s, FIONREAD, &unread) != 0)
            unread = 0;
        close(s);
        return unread;
    }

    // The last client closed the pseudo-terminal. The terminal stays, but
    // what was meant for that client is dropped: replies it did not read
    // would otherwise reach the next client ahead of its own.
    void clientLeft()
    {
        out_.clear();
        in_.clear();
        line_.clear();
        overlong_ = false;
        int s = open(ptsName_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (s >= 0) {
            tcflush(s, TCIFLUSH);
            close(s);
        }
        absent_ = true;
        if (hadClient_)
            std::cerr << "kvxsim: client left; waiting for the next one\n";
        hadClient_ = false;
    }

    void queue(std::string bytes, long long delayMs)
    {
        if (bytes.empty())
            return;
        // One command at a time: a reply takes its delay from when the encoder is
        // done with the reply before it.
        const long long start = std::max(nowNs(), out_.empty() ? 0 : out_.back().due) + delayMs * kNsPerMs;
        if (cfg_.chunk == 0) {
            out_.push_back({start, std::move(bytes)});
            return;
        }
        long long due = start;
        for (std::size_t at = 0; at < bytes.size(); at += cfg_.chunk) {
            out_.push_back({due, bytes.substr(at, cfg_.chunk)});
            due += cfg_.chunkGapMs * kNsPerMs;
        }
    }

    // Bytes read from the client wait until the line would have carried them:
    // one after the other, each a byte time after the one before or after
    // being read, whichever is later.
    void received(const char* buf, std::size_t n)
    {
        bytesIn_ += static_cast<long long>(n);
        const long long now = nowNs();
        for (std::size_t i = 0; i < n; ++i) {
            inFreeAt_ = std::max(inFreeAt_, now) + byteNs_;
            in_.push_back({inFreeAt_, buf[i]});
        }
    }

    // Hands the bytes whose time has come to the model.
    void takeDue()
    {
        const long long now = nowNs();
        while (!in_.empty() && in_.front().due <= now) {
            maxLateNs_ = std::max(maxLateNs_, now - in_.front().due);
            const char c = in_.front().c;
            in_.pop_front();
            onByte(c);
        }
    }

    // When the next byte of the front piece is due at the client: once the
    // piece is due and the line has carried the byte before it, one byte
    // time later (at once without a line rate).
    long long nextOutDue() const { return std::max(out_.front().due, outFreeAt_) + byteNs_; }

    void onByte(char c)
    {
        // The adapter is being pulled: nothing after the last command before
        // the hang-up reaches anybody.
        if (hangupPending_)
            return;
        if (model_.echo())
            queue(std::string(1, c), 0);
        if (c != '\r' && c != '\n') {
            // No command is longer than this; an overlong line is refused as a
            // whole rather than cut into something that might be accepted.
            if (line_.size() < kMaxLine)
                line_ += c;
            else
                overlong_ = true;
            return;
        }
        if (line_.empty())
            return;
        std::string line;
        line.swap(line_);
        const bool overlong = overlong_;
        overlong_ = false;
        if (log_.is_open())
            log_ << line << '\n' << std::flush;
        if (overlong && !cfg_.babble) {
            queue(kvxsim::EncoderModel::no(), cfg_.delayMs);
        } else if (!cfg_.babble) {
            auto reply = model_.handle(line, hostUtc());
            if (reply)
                queue(*reply, cfg_.delayMs + wordDelay(line));
            std::string error;
            if (model_.changed() && !cfg_.state.empty() && !WriteFileAtomic(cfg_.state, model_.saveState(), error))
                std::cerr << "kvxsim: " << error << "\n";
        }
        ++commands_;
        if (cfg_.hangupAfter >= 0 && commands_ >= cfg_.hangupAfter)
            hangupPending_ = true;
    }

    long long wordDelay(const std::string& line) const
    {
        const kvxsim::Command cmd = kvxsim::parseCommand(line);
        for (const auto& [pattern, ms] : cfg_.wordDelays)
            if (kvxsim::faultMatches(pattern, cmd))
                return ms;
        return 0;
    }

    // Writes what is due; false when the terminal can no longer be written.
    // On a line with a rate each byte is due a byte time after the one before:
    // the bytes due by now go in one write, and a late wake-up catches up
    // without moving the bytes after them.
    bool flushDue()
    {
        const long long now = nowNs();
        while (!out_.empty() && nextOutDue() <= now) {
            Piece& p = out_.front();
            std::size_t count = p.bytes.size();
            if (byteNs_ > 0) {
                const long long first = nextOutDue();
                count = std::min<std::size_t>(count, static_cast<std::size_t>((now - first) / byteNs_ + 1));
            }
            ssize_t n = write(fd_, p.bytes.data(), count);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK)
                    return true;
                return false;
            }
            if (byteNs_ > 0) {
                const long long start = std::max(p.due, outFreeAt_);
                outFreeAt_ = start + n * byteNs_;
                maxLateNs_ = std::max(maxLateNs_, now - (start + byteNs_));
            }
            bytesOut_ += n;
            p.bytes.erase(0, static_cast<std::size_t>(n));
            if (p.bytes.empty())
                out_.pop_front();
        }
        return true;
    }

    void babble()
    {
        static const char text[] = "0123456789ABCDEF RDS ";
        std::string burst;
        for (int i = 0; i < 64; ++i)
            burst += text[(babbleAt_++) % (sizeof text - 1)];
        if (write(fd_, burst.data(), burst.size()) < 0 && errno != EAGAIN)
            return;
    }

    // Waits until a descriptor is ready or the time in ns from now has passed
    // (negative: no limit); answers poll's result.
    static int waitFor(pollfd* fds, nfds_t n, long long timeoutNs)
    {
        if (timeoutNs < 0)
            return ppoll(fds, n, nullptr, nullptr);
        timeoutNs = std::min(timeoutNs, 60000 * kNsPerMs);
        const timespec t {static_cast<time_t>(timeoutNs / 1000000000LL), static_cast<long>(timeoutNs % 1000000000LL)};
        return ppoll(fds, n, &t, nullptr);
    }

    // Waits for a client to open the terminal; answers false when a signal
    // ends the program instead.
    bool waitForClient()
    {
        // A master without a client reports a hang-up at every poll, so it
        // cannot be waited on. An open of the terminal is the event instead
        // (the watch notices every open, so none falls between the look and
        // the wait); without a watch, look again at a slow pace.
        if (watch_ >= 0) {
            char events[4096];
            while (read(watch_, events, sizeof events) > 0) { }
        }
        pollfd m {fd_, POLLIN, 0};
        if (poll(&m, 1, 0) >= 0 && !(m.revents & POLLHUP)) {
            absent_ = false;
            return true;
        }
        pollfd fds[2] = {{gSignalPipe[0], POLLIN, 0}, {watch_, POLLIN, 0}};
        const long long timeout = watch_ < 0 ? 50 * kNsPerMs : hangupPending_ ? 20 * kNsPerMs : -1;
        return !(waitFor(fds, watch_ >= 0 ? 2 : 1, timeout) > 0 && (fds[0].revents & POLLIN));
    }

    int loop()
    {
        bool down = false;
        if (cfg_.hangupAfter == 0)
            hangupPending_ = true;
        long long nextBabble = nowNs();
        for (;;) {
            if (!down && hangupPending_ && out_.empty()) {
                // The adapter is pulled: the terminal disappears for every
                // client. Closing it discards what the client has not read
                // yet, so the last reply is given time to be read: at least a
                // moment for the bytes to reach the terminal's queue, then until
                // that queue is empty, two seconds at most.
                if (drainedAt_ < 0)
                    drainedAt_ = nowMs();
                const long long waited = nowMs() - drainedAt_;
                const int unread = unreadByClient();
                if (waited > 2000 || (waited >= 300 && unread == 0)) {
                    closeTerminal();
                    down = true;
                }
            }
            if (!down && absent_) {
                if (!waitForClient())
                    return 0;
                continue;
            }
            long long timeout = -1;
            bool wantOut = false;
            const long long now = nowNs();
            if (!down && !out_.empty()) {
                timeout = std::max(0LL, nextOutDue() - now);
                wantOut = timeout == 0;
            }
            if (!down && !in_.empty()) {
                const long long t = std::max(0LL, in_.front().due - now);
                timeout = timeout < 0 ? t : std::min(timeout, t);
            }
            if (!down && hangupPending_ && out_.empty())
                timeout = timeout < 0 ? 20 * kNsPerMs : std::min(timeout, 20 * kNsPerMs);
            if (!down && cfg_.babble) {
                long long t = std::max(0LL, nextBabble - now);
                timeout = timeout < 0 ? t : std::min(timeout, t);
            }
            pollfd fds[2] = {{gSignalPipe[0], POLLIN, 0}, {down ? -1 : fd_, POLLIN, 0}};
            if (wantOut)
                fds[1].events |= POLLOUT;
            int r = waitFor(fds, 2, timeout);
            if (r < 0 && errno != EINTR) {
                std::cerr << "kvxsim: poll: " << std::strerror(errno) << "\n";
                return 2;
            }
            if (r > 0 && (fds[0].revents & POLLIN))
                return 0;
            if (down)
                continue;
            if (r > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buf[512];
                ssize_t n = read(fd_, buf, sizeof buf);
                if (n > 0) {
                    hadClient_ = true;
                    received(buf, static_cast<std::size_t>(n));
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    if (!cfg_.device.empty()) {
                        std::cerr << "kvxsim: " << cfg_.device << " is gone\n";
                        return 2;
                    }
                    clientLeft();
                    continue;
                }
            }
            takeDue();
            if (!flushDue()) {
                if (!cfg_.device.empty()) {
                    std::cerr << "kvxsim: " << cfg_.device << " cannot be written any more\n";
                    return 2;
                }
                clientLeft();
                continue;
            }
            if (cfg_.babble && nowNs() >= nextBabble) {
                babble();
                nextBabble = nowNs() + 10 * kNsPerMs;
            }
        }
    }

    Config cfg_;
    kvxsim::EncoderModel model_;
    int fd_ = -1;
    std::string ptsName_;
    bool absent_ = false;
    bool hadClient_ = false;
    int watch_ = -1;
    std::string line_;
    std::deque<Piece> out_;
    std::deque<InByte> in_;
    // The line's rate: a byte's time on it (0: no line, bytes pass at once),
    // when each direction is next free, and what crossed it.
    long long byteNs_ = 0;
    long long inFreeAt_ = 0;
    long long outFreeAt_ = 0;
    long long bytesIn_ = 0;
    long long bytesOut_ = 0;
    long long maxLateNs_ = 0;
    std::ofstream log_;
    long long commands_ = 0;
    bool hangupPending_ = false;
    bool overlong_ = false;
    static constexpr std::size_t kMaxLine = 1024;
    long long drainedAt_ = -1;
    std::size_t babbleAt_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    Config cfg;
    if (int rc = parseArgs(argc, argv, cfg))
        return rc - 1;

    if (pipe(gSignalPipe) != 0)
        return 2;
    fcntl(gSignalPipe[0], F_SETFD, FD_CLOEXEC);
    fcntl(gSignalPipe[1], F_SETFD, FD_CLOEXEC);
    fcntl(gSignalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction sa { };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // Standard output may be a pipe that its reader closes after the first line.
    signal(SIGPIPE, SIG_IGN);

    Server server(std::move(cfg));
    return server.run();
}
