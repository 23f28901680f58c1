#pragma once
#include <memory>

#include "app/dialogs/PfxDialog.h"
#include "protocol/KARVLib.h"

namespace Ui {
class LoadPfxWindowController;
}

namespace karv::app {

// What the Load-PFX dialog handed back at its last successful OK.
struct LoadPfxFileWindowResult {
  QString pfxFilePath;  // the full path of the file
  QString pfxFilePwd;
  StringMap certInfo;  // the certificate information read from it
};

class LoadPfxWindowControllerDelegate : public virtual SheetDialogDelegate {
 public:
  // The file opened with the password and holds the expected certificate.
  virtual void getLoadPfxWindowData(const QString& pfxFilePath, const QString& pfxFilePwd,
                                    const StringMap& certInfo) = 0;
};

// Opens the user's .pfx file with its password and checks that it holds the
// expected certificate: hash, common name and serial exactly, the issuer as
// a distinguished name. An empty expected value is not checked.
class LoadPfxWindowController : public PfxDialog {
  Q_OBJECT
 public:
  explicit LoadPfxWindowController(QWidget* parent = nullptr);
  ~LoadPfxWindowController() override;

  void setDelegate(LoadPfxWindowControllerDelegate* delegate);
  void setPfxFilePath(const QString& path) { pfxFilePath_ = path; }
  void setComparison(const QString& cnToCmp, const QString& issuerToCmp, const QString& hexSerialToCmp,
                     const QString& certHashToCmp);
  [[nodiscard]] const QString& pfxFilePath() const { return pfxFilePath_; }

  // Shows the path; the home folder where none is set.
  void windowDidLoad();
  void btnBrowseFileOnClick();
  void btnOkOnClick();

 private:
  // The message for a record that is not the expected certificate; "" when it is.
  [[nodiscard]] QString mismatch(const StringMap& certInfo) const;

  std::unique_ptr<Ui::LoadPfxWindowController> ui_;
  LoadPfxWindowControllerDelegate* delegate_ = nullptr;  // weak
  QString pfxFilePath_;
  QString cnToCmp_;
  QString issuerToCmp_;
  QString hexSerialToCmp_;
  QString certHashToCmp_;
};

}  // namespace karv::app
