#include "gateway/CertStore.h"

#include "gateway/CertFormat.h"

namespace karv::gateway {

CertRecord& CertStore::add(const std::string& idno, CertKind kind, X509Ptr cert) {
  CertRecord record;
  record.id = nextId_++;
  record.idno = idno;
  record.kind = kind;
  record.cert = std::move(cert);
  const long id = record.id;
  return records_[id] = std::move(record);
}

CertRecord& CertStore::restore(CertRecord record) {
  const long id = record.id;
  if (id >= nextId_) nextId_ = id + 1;
  return records_[id] = std::move(record);
}

CertRecord* CertStore::find(long id) {
  auto it = records_.find(id);
  return it == records_.end() ? nullptr : &it->second;
}

CertRecord* CertStore::active(const std::string& idno) {
  for (auto& [id, r] : records_)
    if (r.idno == idno && r.state == CertState::Active) return &r;
  return nullptr;
}

CertRecord* CertStore::pending(const std::string& idno, CertKind kind) {
  for (auto& [id, r] : records_)
    if (r.idno == idno && r.state == CertState::Issued && r.kind == kind) return &r;
  return nullptr;
}

CertRecord* CertStore::latestHeld(const std::string& idno) {
  CertRecord* latest = nullptr;
  for (auto& [id, r] : records_)
    if (r.idno == idno && wasActivated(r)) latest = &r;  // ids grow with time
  return latest;
}

std::vector<const CertRecord*> CertStore::ofUser(const std::string& idno) const {
  std::vector<const CertRecord*> out;
  for (const auto& [id, r] : records_)
    if (r.idno == idno) out.push_back(&r);
  return out;
}

bool CertStore::serialInUse(const std::string& hex) const {
  for (const auto& [id, r] : records_)
    if (serialHex(r.cert.get()) == hex) return true;
  return false;
}

bool wasActivated(const CertRecord& record) {
  return record.state != CertState::Issued && record.state != CertState::Withdrawn;
}

bool inEffect(const CertRecord& record, std::time_t now) {
  return record.state == CertState::Active && now < notAfter(record.cert.get());
}

FunctionStatus functionStatus(CertStore& store, const std::string& idno, std::time_t now, long renewWithinDays) {
  FunctionStatus status;
  const CertRecord* current = store.active(idno);
  const bool effective = current && inEffect(*current, now);

  char apply = '1';
  if (store.pending(idno, CertKind::Apply))
    apply = '2';
  else if (effective)
    apply = '0';

  char renew = '0';
  if (store.pending(idno, CertKind::Renew))
    renew = '2';
  else if (effective && notAfter(current->cert.get()) - now <= renewWithinDays * 86400L)
    renew = '1';

  status.fnStatus = {apply, renew};
  for (const CertRecord* r : store.ofUser(idno)) {
    if (!wasActivated(*r)) continue;
    ++status.certCount;
    if (inEffect(*r, now)) ++status.effectCertCount;
  }
  return status;
}

}  // namespace karv::gateway
