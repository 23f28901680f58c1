#include "app/dialogs/PasswordRules.h"

#include "system/CommonUtility.h"

namespace karv::app {

QString firstBrokenRule(const QString& password, int32_t minLen, int32_t maxLen,
                        std::initializer_list<PasswordPattern> patterns) {
  if (minLen > 0 && password.size() < minLen) return "密碼長度不足";
  if (maxLen > 0 && password.size() > maxLen) return "密碼長度超過限制";
  const CommonUtility util;
  const std::string candidate = password.toStdString();
  for (const PasswordPattern& rule : patterns)
    if (rule.required && !util.regexMatch(candidate, rule.pattern)) return QString::fromUtf8(rule.message);
  return {};
}

}  // namespace karv::app
