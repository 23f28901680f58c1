#pragma once
#include <map>
#include <optional>
#include <string>

namespace karv::gateway {

// True for "application/x-www-form-urlencoded", with or without parameters
// such as "; charset=UTF-8".
[[nodiscard]] bool isFormContentType(const std::string& contentType);

// "%XX" escapes and "+" (a blank) decoded; none for a bad escape.
[[nodiscard]] std::optional<std::string> percentDecode(const std::string& text);

// "a=1&b=%2B" -> {a: "1", b: "+"}. None for anything that is not a clean
// form: a field without "=", an empty name, a repeated name, a bad "%" escape.
[[nodiscard]] std::optional<std::map<std::string, std::string>> parseFormBody(const std::string& body);

}  // namespace karv::gateway
