#pragma once
#include <cstdarg>
#include <functional>
#include <string>
#include <string_view>

namespace karv {

// One diagnostic line to the system log (syslog, facility user).
void logLine(std::string_view line);

// printf-style front end of logLine.
void logf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Also copies every line to standard error (the --verbose switch), as
// "karv: <line>". The lines are the same masked ones the system log gets.
void setLogToStandardError(bool on);

// Whether lines go to the system log at all (on by default). Fuzzing feeds
// millions of broken inputs and turns it off.
void setSystemLog(bool on);

// Tests and tools may watch every line as it is logged; pass {} to stop.
using LogSink = std::function<void(std::string_view)>;
void setLogSink(LogSink sink);

// Drains the OpenSSL error queue into the log, one line per entry, each
// prefixed by context. Returns how many entries there were.
int logOpenSslErrors(std::string_view context);

// What a secret turns into in a log line.
inline constexpr const char kMasked[] = "***";

}  // namespace karv
