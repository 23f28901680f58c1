#pragma once
// Driving the certificate workflows from the main window as a user would,
// what they showed on the way, and what their log may not hold.
#include <QObject>
#include <QStringList>
#include <vector>

#include "GuiTestSupport.h"

namespace karv::test {

// Asked after a saved application or renewal: install into the browsers?
inline const QString kInstallQuestion = QStringLiteral(
    "點選確定後，系統將自動開啟瀏覽器進行憑證匯入瀏覽器作業，"
    "待匯入完成後，將此程式與開啟之網頁關閉即可開始線上交易。");

// Types into the open code dialog and presses OK. False when it is not open.
bool enterCode(const std::string& code);
// Clicks the button, answers the identity dialog with the delivery choice
// ("useMail", "usePhone") and enters the code the gateway sent. False when
// a dialog of the way did not open or no code came.
bool verifyIdentity(AppHarness& h, QAbstractButton* button, const DemoUserRef& user, const char* choice = "usePhone");
// Agrees to the open user agreement, or cancels it. False when none is open.
bool answerAgreement(bool agree);

// What the workflows showed, in order: "overlay:<prompt>" (prompts with a
// text only), "dialog:<class>" as each sheet opens, "alert:<text>" as each
// message is shown.
class FlowRecorder : public QObject {
 public:
  // The overlay must exist already (any call to the gateway made it).
  explicit FlowRecorder(AppHarness& h);
  ~FlowRecorder() override;
  [[nodiscard]] const QStringList& events() const { return events_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  AppHarness& h_;
  QStringList events_;
};

// Every value the client sent, as it travelled (percent-encoded) and as the
// ciphertext it stands for.
[[nodiscard]] QStringList sentValues(const std::vector<gateway::RecordedRequest>& requests);
// The first line that gives a secret away: one of the secrets, or a long run
// of base64 or hexadecimal (ciphertext, keys, bodies); "" when none does.
[[nodiscard]] QString leakingLine(const QStringList& lines, QStringList secrets);

}  // namespace karv::test
