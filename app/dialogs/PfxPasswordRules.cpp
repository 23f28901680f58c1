#include "app/dialogs/PfxPasswordRules.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "app/dialogs/PasswordRules.h"

namespace karv::app {
namespace {

const std::string* valueOf(const StringMap& cfg, const char* key) {
  const auto it = cfg.find(key);
  return it == cfg.end() ? nullptr : &it->second;
}

// The integer the text starts with ("8", " 12abc", "-3"); 0 when it starts
// with none. Values beyond 32 bits are clamped.
int32_t leadingInteger(const std::string* text) {
  if (!text) return 0;
  size_t i = 0;
  while (i < text->size() && std::isspace(static_cast<unsigned char>((*text)[i]))) ++i;
  const bool negative = i < text->size() && (*text)[i] == '-';
  if (i < text->size() && ((*text)[i] == '-' || (*text)[i] == '+')) ++i;
  int64_t value = 0;
  for (; i < text->size() && std::isdigit(static_cast<unsigned char>((*text)[i])); ++i)
    value = std::min<int64_t>(value * 10 + ((*text)[i] - '0'), int64_t{std::numeric_limits<int32_t>::max()} + 1);
  value = negative ? -value : value;
  return static_cast<int32_t>(
      std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Only the exact text "Y" turns a rule on.
bool flag(const std::string* text) { return text && *text == "Y"; }

}  // namespace

PfxPasswordRules PfxPasswordRules::fromSvrCfg(const std::optional<StringMap>& svrCfg) {
  PfxPasswordRules rules;
  if (!svrCfg) return rules;
  const StringMap& cfg = *svrCfg;
  if (const std::string* prompt = valueOf(cfg, "pfx.pwd.prompt")) rules.promptMsg = QString::fromStdString(*prompt);
  rules.pfxPwdMinLen = leadingInteger(valueOf(cfg, "pfx.pwd.minLen"));
  rules.pfxPwdMaxLen = leadingInteger(valueOf(cfg, "pfx.pwd.maxLen"));
  rules.pfxPwdDigit = flag(valueOf(cfg, "pfx.pwd.digit"));
  rules.pfxPwdUCAlpha = flag(valueOf(cfg, "pfx.pwd.UCAlpha"));
  // The gateway spells this key without the final "a".
  rules.pfxPwdLCAlpha = flag(valueOf(cfg, "pfx.pwd.LCAlph"));
  rules.pfxPwdPunctuation = flag(valueOf(cfg, "pfx.pwd.punctuation"));
  return rules;
}

QString PfxPasswordRules::firstBroken(const QString& password) const {
  return firstBrokenRule(password, pfxPwdMinLen, pfxPwdMaxLen,
                         {
                             {pfxPwdDigit, "^.*[0-9]+.*$", "憑證檔密碼必需包含數字"},
                             {pfxPwdUCAlpha, "^.*[A-Z]+.*$", "憑證檔密碼必需包含大寫英文字母"},
                             {pfxPwdLCAlpha, "^.*[a-z]+.*$", "憑證檔密碼必需包含小寫英文字母"},
                             {pfxPwdPunctuation, "^.*[^0-9a-zA-Z]+.*$", "憑證檔密碼必需包含特殊符號"},
                         });
}

}  // namespace karv::app
