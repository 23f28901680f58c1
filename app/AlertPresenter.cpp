#include "app/AlertPresenter.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "app/ApplicationIcon.h"

namespace karv::app {

int QtAlertPresenter::present(const Alert& alert) {
  const bool sheet = alert.style == Style::Sheet;
  QMessageBox box(sheet ? alert.window : nullptr);
  box.setWindowModality(sheet ? Qt::WindowModal : Qt::ApplicationModal);
  if (sheet) {
    // The scalable application icon, drawn for the screen's pixel ratio.
    constexpr int kIconSize = 64;
    box.setIconPixmap(karvIcon().pixmap(QSize(kIconSize, kIconSize), box.devicePixelRatio()));
  } else {
    box.setIcon(QMessageBox::Warning);
  }
  box.setWindowTitle(alert.title);
  box.setText(alert.title);
  box.setInformativeText(alert.text);
  // The texts may be the gateway's: shown as they are, never as markup or links.
  box.setTextFormat(Qt::PlainText);
  for (QLabel* label : box.findChildren<QLabel*>()) {
    label->setTextFormat(Qt::PlainText);
    label->setOpenExternalLinks(false);
  }
  box.setAccessibleName(alert.title);
  QList<QAbstractButton*> buttons;
  for (int i = 0; i < alert.buttons.size(); ++i)
    buttons << box.addButton(alert.buttons[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
  if (!buttons.isEmpty()) box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
  box.exec();
  const int index = static_cast<int>(buttons.indexOf(box.clickedButton()));
  return index >= 0 ? 1000 + index : decliningAnswer(alert);
}

}  // namespace karv::app
