#include "app/expiry/ExpiryStateFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "system/SecureFiles.h"

namespace karv::app {
namespace {

// The file is a handful of short fields; anything much larger is not ours.
constexpr size_t kMaxStateBytes = 64 * 1024;

}  // namespace

std::optional<ExpiryState> ExpiryState::of(const QString& pfxPath, const StringMap& certInfo) {
  const auto field = [&](const char* key) {
    const auto it = certInfo.find(key);
    return it == certInfo.end() ? QString() : QString::fromStdString(it->second);
  };
  const QDateTime notAfter = QDateTime::fromString(field("notAfter").left(14), "yyyyMMddHHmmss");
  if (!notAfter.isValid()) return std::nullopt;
  return ExpiryState{field("cn"), field("serial"), notAfter.toUTC(), pfxPath, ExpiryStage::kNone};
}

ExpiryStateFile::ExpiryStateFile()
    : folder_(QString::fromStdString(privateKeyFolder())), path_(folder_ + "/expiry-reminder.json") {}

ExpiryStateFile::Read ExpiryStateFile::load(ExpiryState& state) const {
  // A state in a folder someone else controls is not ours to believe.
  if (!isOwnRealFolder(folder_.toStdString()))
    return ::access(folder_.toLocal8Bit().constData(), F_OK) == 0 ? Read::kUnreadable : Read::kAbsent;
  const auto bytes = readWholeFile(path_.toStdString(), kMaxStateBytes);
  if (!bytes) return ::access(path_.toLocal8Bit().constData(), F_OK) == 0 ? Read::kUnreadable : Read::kAbsent;
  const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(*bytes)).object();
  const QDateTime notAfter = QDateTime::fromString(json["notAfter"].toString(), Qt::ISODate);
  const auto notified = stageNamed(json["notified"].toString());
  if (!notAfter.isValid() || !notified) return Read::kUnreadable;
  state = ExpiryState{json["cn"].toString(), json["serial"].toString(), notAfter.toUTC(), json["pfxPath"].toString(),
                      *notified};
  state.revoked = json["revoked"].toBool();  // absent in files of earlier versions
  return Read::kFound;
}

bool ExpiryStateFile::save(const ExpiryState& state) const {
  const QJsonObject json{{"cn", state.cn},
                         {"serial", state.serial},
                         {"notAfter", state.notAfter.toUTC().toString(Qt::ISODate)},
                         {"pfxPath", state.pfxPath},
                         {"notified", stageName(state.notified)},
                         {"revoked", state.revoked}};
  const QByteArray bytes = QJsonDocument(json).toJson();
  return makeOwnerOnlyFolder(folder_.toStdString()) &&
         writeFileAtomically(path_.toStdString(), std::string_view(bytes.constData(), size_t(bytes.size())), 0600);
}

bool ExpiryStateFile::record(ExpiryState current) const {
  if (!makeOwnerOnlyFolder(folder_.toStdString())) return false;
  const Lock held = lock();
  ExpiryState previous;
  current.notified = ExpiryStage::kNone;
  current.revoked = false;
  if (load(previous) == Read::kFound && previous.sameCertificate(current)) {
    current.notified = previous.notified;
    current.revoked = previous.revoked;
  }
  return save(current);
}

bool ExpiryStateFile::markRevoked(const QString& cn, const QString& serial) const {
  const Lock held = lock();
  ExpiryState state;
  if (load(state) != Read::kFound || state.cn != cn) return false;
  if (!serial.isEmpty() && serial.compare(state.serial, Qt::CaseInsensitive) != 0) return false;
  if (state.revoked) return true;
  state.revoked = true;
  return save(state);
}

ExpiryStateFile::Lock::Lock(const QString& folder)
    : fd_(::open(folder.toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  if (fd_ >= 0) (void)::flock(fd_, LOCK_EX);
}

ExpiryStateFile::Lock::~Lock() { release(); }

void ExpiryStateFile::Lock::release() {
  if (fd_ >= 0) ::close(fd_);  // closing the last descriptor drops the lock
  fd_ = -1;
}

}  // namespace karv::app
