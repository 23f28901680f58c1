#include "system/TextCodec.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <cstdint>
#include <memory>

namespace karv {
namespace {

struct ConverterDeleter {
  void operator()(UConverter* c) const noexcept { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterDeleter>;

// A Big5 converter that stops at the first byte or character it cannot map.
ConverterPtr strictBig5() {
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr conv(ucnv_open("Big5", &status));
  if (U_FAILURE(status)) return nullptr;
  ucnv_setToUCallBack(conv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) return nullptr;
  return conv;
}

std::optional<std::string> convert(std::string_view in, bool toUtf8) {
  if (in.empty()) return std::string();
  if (in.size() > (SIZE_MAX - 4) / 3) return std::nullopt;
  ConverterPtr big5 = strictBig5();
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr utf8(ucnv_open("UTF-8", &status));
  if (!big5 || U_FAILURE(status)) return std::nullopt;
  ucnv_setToUCallBack(utf8.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  UConverter* target = toUtf8 ? utf8.get() : big5.get();
  UConverter* source = toUtf8 ? big5.get() : utf8.get();
  // Big5 never takes more than 3 UTF-8 bytes per input byte, nor the reverse.
  std::string out(in.size() * 3 + 4, '\0');
  char* outPtr = out.data();
  const char* inPtr = in.data();
  ucnv_convertEx(target, source, &outPtr, out.data() + out.size(), &inPtr, in.data() + in.size(), nullptr, nullptr,
                 nullptr, nullptr, true, true, &status);
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<size_t>(outPtr - out.data()));
  return out;
}

}  // namespace

std::optional<std::string> big5ToUtf8(std::string_view big5) { return convert(big5, true); }
std::optional<std::string> utf8ToBig5(std::string_view utf8) { return convert(utf8, false); }

}  // namespace karv
