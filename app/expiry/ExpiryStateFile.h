#pragma once
#include <QDateTime>
#include <QString>
#include <optional>

#include "app/expiry/ExpiryReminder.h"
#include "protocol/KARVLib.h"

namespace karv::app {

// What the reminder needs to know of the current certificate, and nothing
// secret: no password, no key, nothing they could be derived from.
struct ExpiryState {
  QString cn;
  QString serial;
  QDateTime notAfter;  // UTC
  QString pfxPath;
  ExpiryStage notified = ExpiryStage::kNone;  // the most urgent stage shown so far
  bool revoked = false;                       // a revoked certificate has nothing left to remind of

  // The state of a .pfx from its certificate record ("cn", "serial" and
  // "notAfter" as 14 digits of local time); none without a usable "notAfter".
  [[nodiscard]] static std::optional<ExpiryState> of(const QString& pfxPath, const StringMap& certInfo);
  // The same certificate: a renewal brings another serial or end.
  [[nodiscard]] bool sameCertificate(const ExpiryState& other) const {
    return serial == other.serial && notAfter == other.notAfter;
  }
};

// The reminder's one file in the hidden working folder, written atomically
// and owner-only. Writers of the GUI and of the background check take its
// lock, so one never undoes what the other just wrote.
class ExpiryStateFile {
 public:
  ExpiryStateFile();  // <home>/.plix/expiry-reminder.json

  enum class Read { kFound, kAbsent, kUnreadable };
  [[nodiscard]] Read load(ExpiryState& state) const;
  [[nodiscard]] bool save(const ExpiryState& state) const;
  // Records the current certificate. The same certificate keeps the stages
  // already shown and its revocation; another one starts them again.
  [[nodiscard]] bool record(ExpiryState current) const;
  // Marks the recorded certificate revoked when it has this common name and,
  // when one is given, this serial. Whether it is marked now.
  [[nodiscard]] bool markRevoked(const QString& cn, const QString& serial) const;
  [[nodiscard]] const QString& path() const { return path_; }

  // An exclusive lock on the working folder while it lives (none when the
  // folder does not exist).
  class Lock {
   public:
    explicit Lock(const QString& folder);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void release();

   private:
    int fd_ = -1;
  };
  [[nodiscard]] Lock lock() const { return Lock(folder_); }

 private:
  QString folder_;
  QString path_;
};

}  // namespace karv::app
