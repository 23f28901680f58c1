#pragma once
#include <QObject>
#include <QString>
#include <initializer_list>

class QAbstractButton;
class QAbstractItemView;
class QPushButton;
class QRadioButton;
class QWidget;

namespace karv::app {

// Traditional Chinese interfaces write a mnemonic as a Latin letter in
// parentheses after the text, "登入(&L)" or "選擇儲存路徑(&F)...". This is
// the text without it ("登入", "選擇儲存路徑..."); a lone "&" goes too.
[[nodiscard]] QString withoutMnemonic(const QString& text);

// Screen readers, and whoever finds a control by its name, should hear the
// text alone: every button, label and group box under `root` whose text has
// a mnemonic is named by the text without it, and so is the field a caption
// labels; names given already stay.
void nameWithoutMnemonics(QWidget* root);

// A new text for a button that keeps its mnemonic and its name in step:
// "登出" on "登入(&L)" gives "登出(&L)", named "登出".
void setTextKeepingMnemonic(QAbstractButton* button, const QString& text);

// Enter presses the focused push button under `root`, as Space does; Qt
// does so by itself only inside dialogs.
void pressButtonsWithEnter(QWidget* root);

// A flat, link-like button draws no frame, and with it no sign of the
// focus: it gets a ring in the palette's highlight colour while it has it.
void showFocusOnFlatButton(QPushButton* button);

// Gives the keyboard focus to `control`, or, when it went out of use, to
// the next usable control after it in the tab order; false when none is.
bool giveFocusBack(QWidget* control);

// The view is one Tab stop: arrow keys move inside it, and Tab, Shift+Tab,
// Ctrl+Tab and Ctrl+Shift+Tab lead out of it.
void makeOneTabStop(QAbstractItemView* view);

// Arrow keys on one of these radio buttons move to the next usable one in
// that direction (round the end) and choose it, as radio buttons do
// everywhere; Qt only moves the focus while none is chosen yet.
class ArrowKeysChoose : public QObject {
 public:
  ArrowKeysChoose(std::initializer_list<QRadioButton*> choices, QObject* parent);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QList<QRadioButton*> choices_;
};

}  // namespace karv::app
