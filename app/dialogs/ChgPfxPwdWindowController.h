#pragma once
#include <memory>

#include "app/dialogs/PfxDialog.h"
#include "app/dialogs/PfxPasswordRules.h"

namespace Ui {
class ChgPfxPwdWindowController;
}

namespace karv::app {

// Gives a .pfx file a new password that keeps the gateway's rules: the file
// is opened with the old one and rewritten in place. Hands nothing back; the
// client's current .pfx password stays as it was.
class ChgPfxPwdWindowController : public PfxDialog {
  Q_OBJECT
 public:
  explicit ChgPfxPwdWindowController(QWidget* parent = nullptr);
  ~ChgPfxPwdWindowController() override;

  void setPfxFilePath(const QString& path) { pfxFilePath_ = path; }
  void setRules(const PfxPasswordRules& rules) { rules_ = rules; }
  [[nodiscard]] const QString& pfxFilePath() const { return pfxFilePath_; }
  [[nodiscard]] const PfxPasswordRules& rules() const { return rules_; }

  void windowDidLoad();
  void btnBrowseFileOnClick();
  void btnOkOnClick();

 private:
  [[nodiscard]] QString inputError(const QString& newPwd, const QString& confirm) const;
  [[nodiscard]] int32_t changePassword(const QString& oldPwd, const QString& newPwd) const;

  std::unique_ptr<Ui::ChgPfxPwdWindowController> ui_;
  QString pfxFilePath_;
  PfxPasswordRules rules_;
};

}  // namespace karv::app
