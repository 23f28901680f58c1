#pragma once
// Every refusal the gateway answers with: its "rtnCode" and "rtnMsg".
// The client only tells "0" (and "999" at login) from the rest; the codes
// are grouped so a log line says at once which area refused.
#include "gateway/ApiTypes.h"

namespace karv::gateway {

struct Rejection {
  const char* code;
  const char* message;
  [[nodiscard]] ApiReply reply() const { return ApiReply::reject(code, message); }
};

namespace rejections {
// 999: the login went through, but the password must be changed first.
inline constexpr Rejection kFirstLogin{"999", "首次登入必需進行密碼變更"};

// 1xxx: the client itself.
inline constexpr Rejection kVersionRefused{"1001", "用戶端版本過舊,請更新"};

// 2xxx: login and account.
inline constexpr Rejection kBadLogin{"2001", "帳號或密碼錯誤"};
inline constexpr Rejection kBadLoginType{"2002", "登入類別錯誤"};
inline constexpr Rejection kOldPwdWrong{"2101", "舊密碼錯誤"};
inline constexpr Rejection kNewPwdRules{"2102", "新密碼須為6至16個字元,並包含英文字母及數字"};
inline constexpr Rejection kNewPwdSame{"2103", "新密碼不得與舊密碼相同"};
inline constexpr Rejection kIdentityMismatch{"2104", "身分資料與登入使用者不符"};

// 3xxx: identity verification.
inline constexpr Rejection kNoContact{"3001", "查無聯絡資料"};
inline constexpr Rejection kCodeWrong{"3002", "驗證碼錯誤"};
inline constexpr Rejection kCodeExpired{"3003", "驗證碼已逾時,請重新發送"};
inline constexpr Rejection kCodeTooManyTries{"3004", "驗證碼錯誤次數過多,請重新發送"};
inline constexpr Rejection kCodeNotSent{"3005", "尚未發送驗證碼"};
inline constexpr Rejection kDlPwdWrong{"3006", "憑證下載密碼錯誤"};
inline constexpr Rejection kNotVerified{"3007", "請先完成身分驗證"};
inline constexpr Rejection kContactMismatch{"3008", "寄送資料與留存資料不符"};
inline constexpr Rejection kBadOpType{"3009", "作業類別錯誤"};
inline constexpr Rejection kCodeNotDelivered{"3010", "驗證碼無法寄送,請稍後再試"};

// 4xxx: certificates.
inline constexpr Rejection kApplyNotAllowed{"4001", "目前無法申請憑證"};
inline constexpr Rejection kBadCsr{"4002", "憑證請求格式錯誤"};
inline constexpr Rejection kCsrCnMismatch{"4003", "憑證請求的CN與使用者不符"};
inline constexpr Rejection kCsrSignature{"4004", "憑證請求簽章驗證失敗"};
inline constexpr Rejection kRenewSignature{"4005", "憑證更新簽章驗證失敗"};
inline constexpr Rejection kNoActiveCert{"4006", "查無有效憑證"};
inline constexpr Rejection kNoSuchApplication{"4007", "查無此憑證申請"};
inline constexpr Rejection kIssueFailed{"4008", "憑證簽發失敗"};
inline constexpr Rejection kCnMismatch{"4009", "CN與登入使用者不符"};
inline constexpr Rejection kRenewNotAllowed{"4010", "目前無法更新憑證"};
inline constexpr Rejection kSerialMismatch{"4011", "憑證序號不符"};
inline constexpr Rejection kNoCertificate{"4012", "查無憑證資料"};

// 9xxx: the request itself.
inline constexpr Rejection kMissingParam{"9001", "缺少必要參數"};
inline constexpr Rejection kSessionExpired{"9002", "連線逾時或尚未登入,請重新登入"};
inline constexpr Rejection kUndecryptable{"9003", "參數無法解密"};
inline constexpr Rejection kBodyTooLarge{"9004", "傳送資料過大"};
inline constexpr Rejection kNotForm{"9005", "傳送資料格式錯誤"};
inline constexpr Rejection kUnknownApi{"9006", "不支援的功能"};
inline constexpr Rejection kUnencodable{"9007", "回覆內容無法編碼"};
inline constexpr Rejection kLoggedOut{"9008", "您已登出,請重新登入"};
inline constexpr Rejection kChangePwdFirst{"9009", "首次登入請先變更密碼"};
inline constexpr Rejection kStateNotSaved{"9010", "資料無法儲存,請稍後再試"};
}  // namespace rejections

}  // namespace karv::gateway
