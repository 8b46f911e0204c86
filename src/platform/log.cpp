#include "platform/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <sys/time.h>

#include <pthread.h>

#include "platform/message_queue.h"

namespace kvx::log {

namespace {

constexpr int Unset = -1;
std::atomic<int> GLevel {Unset};

struct SinkState {
    std::mutex Lock;
    std::function<void(Level, const std::string&)> Sink;
};

SinkState& Sinks()
{
    static SinkState* s = new SinkState; // never destroyed: workers may log during exit
    return *s;
}

const char* LevelWord(Level L)
{
    switch (L) {
    case Level::Error:
        return "ERROR";
    case Level::Warn:
        return "WARN";
    case Level::Info:
        return "INFO";
    case Level::Debug:
        return "DEBUG";
    default:
        return "";
    }
}

std::string ThreadLabel()
{
    char Name[32] = {};
    if (pthread_getname_np(pthread_self(), Name, sizeof Name) == 0 && Name[0])
        return Name;
    return "thread " + std::to_string(GetCurrentThreadId());
}

void Write(Level L, const std::string& Text)
{
    timeval Tv {};
    gettimeofday(&Tv, nullptr);
    std::tm Local {};
    const std::time_t Secs = Tv.tv_sec;
    localtime_r(&Secs, &Local);
    char Stamp[32];
    std::strftime(Stamp, sizeof Stamp, "%Y-%m-%d %H:%M:%S", &Local);
    char Ms[8];
    std::snprintf(Ms, sizeof Ms, ".%03d", static_cast<int>(Tv.tv_usec / 1000));
    const std::string Line = std::string(Stamp) + Ms + " " + LevelWord(L) + " [" + ThreadLabel() + "] " + Text;

    SinkState& S = Sinks();
    std::lock_guard<std::mutex> G(S.Lock);
    if (S.Sink) {
        S.Sink(L, Line);
        return;
    }
    std::fprintf(stderr, "%s\n", Line.c_str());
}

void VWrite(Level L, const char* Format, va_list Args)
{
    if (!Enabled(L))
        return;
    va_list Copy;
    va_copy(Copy, Args);
    const int N = std::vsnprintf(nullptr, 0, Format, Copy);
    va_end(Copy);
    std::string Text;
    if (N > 0) {
        Text.resize(static_cast<std::size_t>(N) + 1);
        std::vsnprintf(Text.data(), Text.size(), Format, Args);
        Text.resize(static_cast<std::size_t>(N));
    }
    Write(L, Text);
}

} // namespace

Level ParseLevel(const std::string& Name)
{
    std::string L;
    for (char C : Name)
        L.push_back(static_cast<char>(C >= 'A' && C <= 'Z' ? C - 'A' + 'a' : C));
    if (L == "off" || L == "none" || L == "quiet")
        return Level::Off;
    if (L == "error")
        return Level::Error;
    if (L == "info")
        return Level::Info;
    if (L == "debug" || L == "all")
        return Level::Debug;
    return Level::Warn;
}

Level CurrentLevel()
{
    int V = GLevel.load();
    if (V == Unset) {
        const char* Env = std::getenv("KVX_LOG");
        const int Parsed = static_cast<int>(ParseLevel(Env ? Env : ""));
        // A level set meanwhile by SetLevel wins.
        GLevel.compare_exchange_strong(V, Parsed);
        V = GLevel.load();
    }
    return static_cast<Level>(V);
}

bool Enabled(Level L)
{
    return L != Level::Off && static_cast<int>(L) <= static_cast<int>(CurrentLevel());
}

void SetLevel(Level L)
{
    GLevel = static_cast<int>(L);
}

void SetSink(std::function<void(Level, const std::string&)> Sink)
{
    SinkState& S = Sinks();
    std::lock_guard<std::mutex> G(S.Lock);
    S.Sink = std::move(Sink);
}

#define KVX_LOG_FORMATTED(Name, L)                                                                                     \
    void Name(const char* Format, ...)                                                                                 \
    {                                                                                                                  \
        va_list Args;                                                                                                  \
        va_start(Args, Format);                                                                                        \
        VWrite(L, Format, Args);                                                                                       \
        va_end(Args);                                                                                                  \
    }                                                                                                                  \
    void Name(const std::string& Text)                                                                                 \
    {                                                                                                                  \
        if (Enabled(L))                                                                                                \
            Write(L, Text);                                                                                            \
    }

KVX_LOG_FORMATTED(Error, Level::Error)
KVX_LOG_FORMATTED(Warn, Level::Warn)
KVX_LOG_FORMATTED(Info, Level::Info)
KVX_LOG_FORMATTED(Debug, Level::Debug)

#undef KVX_LOG_FORMATTED

std::string CaughtText()
{
    try {
        throw;
    } catch (const std::exception& E) {
        return E.what();
    } catch (...) {
        return "unknown exception";
    }
}

void Caught(const char* Where)
{
    const std::string Text = CaughtText();
    Error(std::string(Where) + ": " + Text);
}

} // namespace kvx::log
