#include "app/KeyboardAccess.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

namespace karv::app {
namespace {

const QRegularExpression& mnemonicInParentheses() {
  static const QRegularExpression pattern(QStringLiteral(R"(\(&[^&]\))"));
  return pattern;
}

// The mnemonic part of a text, "(&L)"; "" without one.
QString mnemonicOf(const QString& text) { return mnemonicInParentheses().match(text).captured(); }

// Ctrl+Tab and Ctrl+Shift+Tab act as Tab and Shift+Tab: Qt's way out of a
// control that keeps Tab for itself.
class CtrlTabAsTab : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    if (!tab || !(key->modifiers() & Qt::ControlModifier)) return QObject::eventFilter(watched, event);
    const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
    QKeyEvent plain(QEvent::KeyPress, back ? Qt::Key_Backtab : Qt::Key_Tab, back ? Qt::ShiftModifier : Qt::NoModifier);
    QCoreApplication::sendEvent(watched, &plain);
    return true;
  }
};

void nameIfUnnamed(QWidget* control, const QString& text) {
  if (control && control->accessibleName().isEmpty() && text.contains(u'&'))
    control->setAccessibleName(withoutMnemonic(text));
}

}  // namespace

QString withoutMnemonic(const QString& text) {
  QString plain = text;
  plain.remove(mnemonicInParentheses());
  // "&&" is a literal ampersand; any other "&" only marks the mnemonic.
  static const QRegularExpression loneAmpersand(QStringLiteral("&(.)"));
  return plain.replace(loneAmpersand, QStringLiteral("\\1"));
}

void nameWithoutMnemonics(QWidget* root) {
  for (auto* button : root->findChildren<QAbstractButton*>()) nameIfUnnamed(button, button->text());
  for (auto* group : root->findChildren<QGroupBox*>()) nameIfUnnamed(group, group->title());
  for (auto* caption : root->findChildren<QLabel*>()) {
    nameIfUnnamed(caption, caption->text());
    nameIfUnnamed(caption->buddy(), caption->text());
  }
}

void setTextKeepingMnemonic(QAbstractButton* button, const QString& text) {
  const QString mnemonic = mnemonicOf(button->text());
  button->setText(text + mnemonic);
  if (!mnemonic.isEmpty()) button->setAccessibleName(text);
}

void pressButtonsWithEnter(QWidget* root) {
  for (auto* button : root->findChildren<QPushButton*>()) button->setAutoDefault(true);
}

void showFocusOnFlatButton(QPushButton* button) {
  button->setStyleSheet(QStringLiteral("QPushButton:focus { border: 2px solid palette(highlight); }"));
}

bool giveFocusBack(QWidget* control) {
  QWidget* candidate = control;
  while (candidate) {
    if (candidate->window() == control->window() && candidate->isEnabled() &&
        candidate->isVisibleTo(candidate->window()) && (candidate->focusPolicy() & Qt::TabFocus)) {
      candidate->setFocus(Qt::OtherFocusReason);
      return true;
    }
    candidate = candidate->nextInFocusChain();
    if (candidate == control) candidate = nullptr;
  }
  return false;
}

void makeOneTabStop(QAbstractItemView* view) {
  view->setTabKeyNavigation(false);
  view->installEventFilter(new CtrlTabAsTab(view));
}

ArrowKeysChoose::ArrowKeysChoose(std::initializer_list<QRadioButton*> choices, QObject* parent)
    : QObject(parent), choices_(choices) {
  for (QRadioButton* choice : choices_) choice->installEventFilter(this);
}

bool ArrowKeysChoose::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  int step = 0;
  if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Right) step = 1;
  if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Left) step = -1;
  const qsizetype from = choices_.indexOf(static_cast<QRadioButton*>(watched));
  if (step == 0 || from < 0 || key->modifiers() != Qt::NoModifier) return QObject::eventFilter(watched, event);
  const qsizetype count = choices_.size();
  for (qsizetype i = 1; i < count; ++i) {
    QRadioButton* next = choices_[(from + step * i + count) % count];
    if (!next->isEnabled() || !next->isVisibleTo(next->window())) continue;
    next->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    next->click();
    break;
  }
  return true;
}

}  // namespace karv::app
