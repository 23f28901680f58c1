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

// A personal number (ID number, account number, a common name built on the
// ID number) as a log line shows it. A value of 10 or more characters keeps
// its first 3 and last 2 ("A12*****89"), a shorter one is masked whole, so a
// line never shows more than half of a value; one '*' per hidden character
// (UTF-8 characters, not bytes). "" stays "".
[[nodiscard]] std::string maskPersonal(std::string_view value);

// From now on every log line shows this value masked wherever it appears,
// for lines that carry it by chance (a .pfx path named after the ID number).
// Values under 4 characters are not taken: they would mask unrelated text.
void maskInLog(std::string_view value);

}  // namespace karv
