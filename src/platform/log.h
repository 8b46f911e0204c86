#pragma once
// A small logger: one line per record on stderr,
//
//   2026-12-10 05:10:03.123 ERROR [DEV_:4] device handler threw: bad reply
//
// with the local time, the level, the calling thread's name (its numeric id when
// it has none) and the text. Quiet by default: only errors and warnings are
// written. The environment variable KVX_LOG picks the level once, at the first
// record: "off", "error", "warn" (the default), "info" or "debug".
//
//   kvx::log::Error("cannot open %s: %s", Path.c_str(), std::strerror(errno));
//   kvx::log::Debug(std::string("state ") + std::to_string(N));
//
// A worker that catches an exception it cannot hand on logs it with Error, once,
// with its text (see CaughtText). Safe to call from any thread.

#include <exception>
#include <functional>
#include <string>

namespace kvx::log {

enum class Level { Off = 0, Error = 1, Warn = 2, Info = 3, Debug = 4 };

// printf-like; a record above the current level costs one comparison.
void Error(const char* Format, ...) __attribute__((format(printf, 1, 2)));
void Warn(const char* Format, ...) __attribute__((format(printf, 1, 2)));
void Info(const char* Format, ...) __attribute__((format(printf, 1, 2)));
void Debug(const char* Format, ...) __attribute__((format(printf, 1, 2)));
void Error(const std::string& Text);
void Warn(const std::string& Text);
void Info(const std::string& Text);
void Debug(const std::string& Text);

// Whether a record of this level is written.
bool Enabled(Level L);
Level CurrentLevel();
// Overrides KVX_LOG (tests, a --verbose switch).
void SetLevel(Level L);
// Level named by a KVX_LOG value; Warn for an empty or unknown name.
Level ParseLevel(const std::string& Name);

// Receives each written line (without its line end) instead of stderr; an empty
// function restores stderr. For tests.
void SetSink(std::function<void(Level, const std::string&)> Sink);

// The text of the exception being handled: what() of a std::exception,
// "unknown exception" otherwise. Call inside a catch block only.
std::string CaughtText();
// Logs "<Where>: <CaughtText()>" as an error. Call inside a catch block only.
void Caught(const char* Where);

} // namespace kvx::log
