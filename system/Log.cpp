#include "system/Log.h"

#include <openssl/err.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <mutex>
#include <vector>

namespace karv {
namespace {
std::mutex& sinkMutex() {
  static std::mutex m;
  return m;
}
LogSink& sink() {
  static LogSink s;
  return s;
}
std::atomic<bool> toStandardError{false};
std::atomic<bool> toSystemLog{true};

// Without a log daemon glibc's syslog() opens and closes a socket on every
// call; look for the daemon's socket once and keep the connection open.
bool syslogAvailable() {
  static const bool available = [] {
    if (::access("/dev/log", W_OK) != 0) return false;
    openlog("karv", LOG_NDELAY | LOG_PID, LOG_USER);
    return true;
  }();
  return available;
}

struct PersonalValue {
  std::string value;
  std::string masked;
};
std::mutex& personalMutex() {
  static std::mutex m;
  return m;
}
// Longest first, so a common name is masked before the ID number inside it.
std::vector<PersonalValue>& personalValues() {
  static std::vector<PersonalValue> values;
  return values;
}

std::string withPersonalValuesMasked(std::string_view line) {
  std::string text(line);
  std::lock_guard lock(personalMutex());
  for (const auto& [value, masked] : personalValues())
    for (size_t at = text.find(value); at != std::string::npos; at = text.find(value, at + masked.size()))
      text.replace(at, value.size(), masked);
  return text;
}

}  // namespace

std::string maskPersonal(std::string_view value) {
  constexpr size_t kKeptHead = 3;
  constexpr size_t kKeptTail = 2;
  constexpr size_t kShortestShown = 10;
  std::vector<size_t> starts;  // where each UTF-8 character begins
  for (size_t i = 0; i < value.size(); ++i)
    if ((static_cast<unsigned char>(value[i]) & 0xC0) != 0x80) starts.push_back(i);
  const size_t count = starts.size();
  if (count < kShortestShown) return std::string(count, '*');
  return std::string(value.substr(0, starts[kKeptHead])) + std::string(count - kKeptHead - kKeptTail, '*') +
         std::string(value.substr(starts[count - kKeptTail]));
}

void maskInLog(std::string_view value) {
  constexpr size_t kShortestTaken = 4;
  if (value.size() < kShortestTaken) return;
  std::lock_guard lock(personalMutex());
  auto& values = personalValues();
  const auto known = [&](const PersonalValue& v) { return v.value == value; };
  if (std::any_of(values.begin(), values.end(), known)) return;
  values.push_back({std::string(value), maskPersonal(value)});
  std::stable_sort(values.begin(), values.end(),
                   [](const PersonalValue& a, const PersonalValue& b) { return a.value.size() > b.value.size(); });
}

void logLine(std::string_view rawLine) {
  const std::string line = withPersonalValuesMasked(rawLine);
  if (toSystemLog && syslogAvailable())
    syslog(LOG_USER | LOG_INFO, "%.*s", static_cast<int>(std::min<size_t>(line.size(), INT_MAX)), line.data());
  if (toStandardError) {
    // Whole lines, so lines from several threads never interleave.
    const std::string copy = "karv: " + line + "\n";
    std::fwrite(copy.data(), 1, copy.size(), stderr);
  }
  std::lock_guard lock(sinkMutex());
  if (sink()) sink()(line);
}

void logf(const char* format, ...) {
  char small[512];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n < 0) {
    va_end(copy);
    return;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    va_end(copy);
    logLine(std::string_view(small, static_cast<size_t>(n)));
    return;
  }
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(big.data(), big.size(), format, copy);
  va_end(copy);
  big.resize(static_cast<size_t>(n));
  logLine(big);
}

void setLogToStandardError(bool on) { toStandardError = on; }

void setSystemLog(bool on) { toSystemLog = on; }

void setLogSink(LogSink newSink) {
  std::lock_guard lock(sinkMutex());
  sink() = std::move(newSink);
}

int logOpenSslErrors(std::string_view context) {
  int count = 0;
  const char* file = nullptr;
  int line = 0;
  while (unsigned long code = ERR_get_error_all(&file, &line, nullptr, nullptr, nullptr)) {
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    logf("%.*s: %s", static_cast<int>(context.size()), context.data(), text);
    ++count;
  }
  return count;
}

}  // namespace karv
