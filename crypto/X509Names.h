#pragma once
#include <openssl/x509.h>

#include <map>
#include <optional>
#include <string>

namespace karv {

// Texts made from X.509 names: one attribute, the one-line form
// ("CN=.., OU=.., O=.., L=.., S=.., C=.."), and the reverse parse of that form.
using NameParts = std::map<std::string, std::string>;

// The first entry with `nid` as UTF-8 (whatever string type it is stored in);
// "" when there is none or it is empty.
[[nodiscard]] std::string x509NamePart(const X509_NAME* name, int nid);

// "CN=.." always, then ", OU=..", ", O=..", ", L=..", ", S=..", ", C=.." for
// the parts that are not "". The state is written "S".
[[nodiscard]] std::string oneLineName(const X509_NAME* name);

// The leading run of ASCII letters and digits of a common name; a name that
// does not start with one comes back unchanged.
[[nodiscard]] std::string userIdFromCommonName(const std::string& cn);

// Pairs of a one-line name, read from the right, so that of repeated names
// the leftmost value stays. None for "" and for a text that is not a one-line
// name (a part without "=", or a value holding "="). "CN=" (an empty value,
// as written for a name without commonName) reads as CN = "". Time grows
// with the length, however hostile the text.
[[nodiscard]] std::optional<NameParts> parseOneLineName(const std::string& text);

// True when both texts parse to the same non-empty set of pairs, compared
// as exact text; the order of the pairs does not matter.
[[nodiscard]] bool sameOneLineName(const std::string& a, const std::string& b);

}  // namespace karv
