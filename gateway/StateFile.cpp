#include "gateway/StateFile.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>

#include "gateway/CertFormat.h"
#include "gateway/DataLines.h"
#include "gateway/FormBody.h"
#include "system/PercentEncoding.h"
#include "system/SecureFiles.h"

namespace karv::gateway {
namespace {
using Fields = std::map<std::string, std::string>;

// "kind a=1 b=2" -> kind, {a: 1, b: 2}
std::optional<std::pair<std::string, Fields>> parseRecord(const std::string& line) {
  std::istringstream words(line);
  std::string kind;
  words >> kind;
  Fields fields;
  for (std::string word; words >> word;) {
    const auto eq = word.find('=');
    if (eq == std::string::npos || eq == 0) return std::nullopt;
    auto value = percentDecode(word.substr(eq + 1));
    if (!value) return std::nullopt;
    fields[word.substr(0, eq)] = *value;
  }
  return std::make_pair(kind, fields);
}

const char* kindText(CertKind k) { return k == CertKind::Renew ? "renew" : "apply"; }
const char* stateText(CertState s) {
  switch (s) {
    case CertState::Issued:
      return "issued";
    case CertState::Active:
      return "active";
    case CertState::Revoked:
      return "revoked";
    case CertState::Superseded:
      return "superseded";
    case CertState::Withdrawn:
      return "withdrawn";
  }
  return "issued";
}
std::optional<CertState> stateFromText(const std::string& t) {
  for (CertState s :
       {CertState::Issued, CertState::Active, CertState::Revoked, CertState::Superseded, CertState::Withdrawn})
    if (t == stateText(s)) return s;
  return std::nullopt;
}

std::string field(const Fields& f, const char* name) {
  auto it = f.find(name);
  return it == f.end() ? std::string() : it->second;
}

std::optional<CertRecord> certFromFields(const Fields& f) {
  auto get = [&](const char* name) { return field(f, name); };
  CertRecord r;
  r.id = std::atol(get("id").c_str());
  r.idno = get("idno");
  r.kind = get("kind") == "renew" ? CertKind::Renew : CertKind::Apply;
  const auto state = stateFromText(get("state"));
  r.installed = get("installed") == "Y";
  r.certPath = get("certPath");
  r.cert = certFromDerBase64(get("der"));
  if (r.id <= 0 || r.idno.empty() || !state || !r.cert) return std::nullopt;
  r.state = *state;
  return r;
}

bool applyUser(UserStore& users, const Fields& f) {
  auto idno = f.find("idno");
  UserAccount* user = idno == f.end() ? nullptr : users.byIdno(idno->second);
  if (!user) return false;  // a user that left the demo data: nothing to apply it to
  if (auto it = f.find("pwdHash"); it != f.end()) user->pwdHash = it->second;
  if (auto it = f.find("mustChangePwd"); it != f.end()) user->mustChangePwd = it->second == "Y";
  return true;
}
}  // namespace

std::string StateFile::render(const UserStore& users, const CertStore& certs) {
  std::string out =
      "# karv-gateway state (version 1), rewritten whole after every change.\n"
      "# One record per line: a kind, then name=value fields; values are percent-encoded.\n";
  out += "certs nextId=" + std::to_string(certs.nextId()) + "\n";
  for (const auto& [idno, u] : users.all()) {
    if (u.pwdHash.empty() && u.mustChangePwd == u.demo.mustChangePwd) continue;
    out += "user idno=" + percentEncode(idno) + " mustChangePwd=" + (u.mustChangePwd ? "Y" : "N");
    if (!u.pwdHash.empty()) out += " pwdHash=" + percentEncode(u.pwdHash);
    out += "\n";
  }
  for (const auto& [id, r] : certs.all()) {
    out += "cert id=" + std::to_string(id) + " idno=" + percentEncode(r.idno) + " kind=" + kindText(r.kind) +
           " state=" + stateText(r.state) + " installed=" + (r.installed ? "Y" : "N") +
           " certPath=" + percentEncode(r.certPath) + " der=" + percentEncode(derBase64(r.cert.get())) + "\n";
  }
  return out;
}

bool StateFile::apply(const std::string& text, const std::string& where, UserStore& users, CertStore& certs,
                      std::string& error) {
  return forEachDataLine(
      text, where,
      [&](const std::string& line, std::string& what) {
        what = "unreadable record";
        const auto record = parseRecord(line);
        if (!record) return false;
        const auto& [kind, fields] = *record;
        if (kind == "certs") {
          certs.setNextId(std::max(certs.nextId(), std::atol(field(fields, "nextId").c_str())));
          return true;
        }
        if (kind == "user") return applyUser(users, fields);
        if (kind != "cert") return false;
        auto cert = certFromFields(fields);
        if (cert) certs.restore(std::move(*cert));
        return cert.has_value();
      },
      error);
}

StateFile::Load StateFile::load(UserStore& users, CertStore& certs, std::string& error) const {
  if (path_.empty()) return Load::Missing;
  const auto text = readWholeFile(path_);
  if (!text) return Load::Missing;
  return apply(*text, path_, users, certs, error) ? Load::Loaded : Load::Corrupt;
}

bool StateFile::write(const std::string& text) const { return path_.empty() || writeFileAtomically(path_, text, 0600); }

}  // namespace karv::gateway
