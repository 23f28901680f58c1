#pragma once
#include <QString>
#include <memory>
#include <vector>

#include "app/dialogs/SheetDialog.h"
#include "browsers/XdgBrowsers.h"

class QToolButton;

namespace Ui {
class DepCertWindowController;
}

namespace karv::app {

class DepCertWindowControllerDelegate : public virtual SheetDialogDelegate {
 public:
  // The records of the chosen browsers, handed over before the dialog ends with 1.
  virtual void getDepCertWindowData(const std::vector<BrowserRecord>& selectedBrowsersInfo) = 0;
};

// The browser choice before an installation: one image button per installed
// browser, shown chosen (checked) when preselected. The mode decides what a
// click does: "M" any number of browsers, "S" exactly one, anything else
// keeps the preselection. Ends with 1 (browsers chosen) or 0 (cancelled).
class DepCertWindowController : public SheetDialog {
  Q_OBJECT
 public:
  static constexpr int kChosen = 1;
  static constexpr int kCancelled = 0;

  explicit DepCertWindowController(QWidget* parent = nullptr);
  ~DepCertWindowController() override;

  void setDelegate(DepCertWindowControllerDelegate* delegate);
  void setSelectMode(const QString& selectMode) { selectMode_ = selectMode; }
  void setBrowsersInfo(std::vector<BrowserRecord> browsersInfo) { browsersInfo_ = std::move(browsersInfo); }
  [[nodiscard]] const QString& selectMode() const { return selectMode_; }

  // Once the records are set: the buttons follow them.
  void windowDidLoad() { doInit(); }
  void doInit() { showBrowserImgButton(); }
  void showBrowserImgButton();
  void imgBtnOnClick(QToolButton* button);
  void btnOkOnClick();
  void btnCancelOnClick() { reject(); }

 private:
  // The image buttons with their browser identifiers, in the order Safari, Chrome, Firefox.
  [[nodiscard]] std::vector<std::pair<QToolButton*, std::string>> imageButtons() const;

  std::unique_ptr<Ui::DepCertWindowController> ui_;
  DepCertWindowControllerDelegate* delegate_ = nullptr;  // weak
  QString selectMode_;
  std::vector<BrowserRecord> browsersInfo_;
  bool applyingRules_ = false;  // state changes made by the rules themselves
};

}  // namespace karv::app
