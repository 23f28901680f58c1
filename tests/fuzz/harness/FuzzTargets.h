#pragma once
// The fuzz harnesses: each hands one input to a reader of hostile bytes and
// reads whatever comes out the way the client does. The libFuzzer programs
// (KARV_FUZZ=ON, scripts/fuzz) run them on generated inputs; the unit tests
// replay the checked-in corpus (tests/fuzz/corpus/<name>/) through them.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace karv::fuzz {

using Harness = void (*)(const std::uint8_t* data, std::size_t size);

// A gateway reply body through base64, the RSA or AES regime, Big5, the XML
// document and the envelope, read as the calls read it. The first byte picks
// the way: a raw body for either regime, or plain bytes the harness seals.
void replyOpening(const std::uint8_t* data, std::size_t size);
// The XML document layer alone: parse, every XPath the client asks, the
// nodes' names, texts, children and leaf maps.
void xmlDocument(const std::uint8_t* data, std::size_t size);
// One-line names (parse, compare, user ID), DER names to text, and
// certificate times (UTCTime, GeneralizedTime, other types) to local time.
void namesAndTimes(const std::uint8_t* data, std::size_t size);
// A .pfx from its bytes, opened with the right and a wrong password, and
// with its MAC made good so that the contents are read too.
void pfxReader(const std::uint8_t* data, std::size_t size);
// The issued-certificate text (a DER certificate or a PKCS#7 chain), the
// choice of the keyed certificate and the record shown of each.
void issuedCertificate(const std::uint8_t* data, std::size_t size);
// The development gateway's form-body parser, and the client's encoding
// read back by it.
void formBody(const std::uint8_t* data, std::size_t size);

struct Target {
  std::string_view name;  // the program is fuzz_<name>; the corpus folder <name>
  Harness run;
};
[[nodiscard]] std::span<const Target> targets();

// The password of the .pfx seeds.
inline constexpr char kPfxPassword[] = "fuzz-pass";

}  // namespace karv::fuzz
