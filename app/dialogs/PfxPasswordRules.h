#pragma once
#include <QString>
#include <cstdint>
#include <optional>

#include "protocol/KARVLib.h"

namespace karv::app {

// The gateway's rules for .pfx passwords, read afresh from its configuration
// at each opening of a dialog that sets one. Missing keys mean no rule: the
// client has no defaults of its own.
struct PfxPasswordRules {
  QString promptMsg;               // the hint shown to the user ("" when none)
  int32_t pfxPwdMinLen = 0;        // 0 or less: no minimum
  int32_t pfxPwdMaxLen = 0;        // 0 or less: no maximum
  bool pfxPwdDigit = false;        // needs a digit
  bool pfxPwdUCAlpha = false;      // needs an upper-case ASCII letter
  bool pfxPwdLCAlpha = false;      // needs a lower-case ASCII letter
  bool pfxPwdPunctuation = false;  // needs a character that is neither an ASCII letter nor a digit

  [[nodiscard]] static PfxPasswordRules fromSvrCfg(const std::optional<StringMap>& svrCfg);

  // The message of the first rule the password breaks, in the order length
  // (minimum, maximum), digit, upper case, lower case, special character;
  // "" when it keeps them all. Lengths count UTF-16 code units.
  [[nodiscard]] QString firstBroken(const QString& password) const;
};

}  // namespace karv::app
