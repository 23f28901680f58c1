#pragma once
#include <QDialog>
#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/AppServices.h"
#include "app/BlockingWork.h"
#include "app/CertificateTables.h"
#include "app/LoginForm.h"
#include "app/SessionTimers.h"
#include "app/SheetHost.h"
#include "protocol/KARVLib.h"

namespace Ui {
class MainWindow;
}

namespace karv::app {

class KARVMask;
struct SavePfxFileWindowResult;
struct LoadPfxFileWindowResult;

// The application controller: owns the main window and the one protocol
// client, and runs every workflow of the client on the UI thread. Its
// dialogs open one at a time as sheets through its SheetHost, which hands
// each handler the dialog's result; it answers their input errors,
// questions and blocking work.
class AppDelegate : public QObject, public SheetDialogDelegate {
  Q_OBJECT
 public:
  using SheetHandler = app::SheetHandler;

  explicit AppDelegate(AppServices services = AppServices::defaults(), QObject* parent = nullptr);
  ~AppDelegate() override;

  // --- Start-up ---
  void applicationDidFinishLaunching();
  void doVersionCheck();
  [[nodiscard]] static bool applicationShouldTerminateAfterLastWindowClosed() { return true; }
  // No logout request when the application quits; the browser pages go.
  void applicationWillTerminate();

  // --- Messages ---
  void doAlert(const QString& message);
  void doAlert(const QString& title, const QString& message);
  [[nodiscard]] bool doConfirm(const QString& message);
  [[nodiscard]] bool doConfirm(const QString& title, const QString& message);
  // The application-modal "錯誤" alert that dialogs use for input errors.
  void showDialogError(const QString& message) override;
  bool askDialogQuestion(const QString& message, const QStringList& buttons) override;
  // The text for a result code ("不明的錯誤(錯誤代碼 %d)" without one); 0 shows nothing.
  void showErrMsg(int32_t code);
  // The given text, or the text for the code when there is none.
  void showErrMsg(int32_t code, const std::optional<std::string>& errMsg2);
  void showMask() { showMask(QString()); }
  void showMask(const QString& prompt);
  void showIdle(const QString& text);
  void hideMask();

  // --- Blocking work ---
  // Every call that can block (the protocol client, key generation, .pfx
  // files) runs through here, on the worker of BlockingWork; the result comes
  // back as from a direct call. Meanwhile the window stays alive, input is
  // dropped, and the busy overlay shows: the workflow's own, or one without
  // text for the duration of the call.
  template <class Work>
  std::invoke_result_t<Work&> runBlocking(Work&& work) {
    const WorkOverlay overlay(*this, QString());
    return blockingWork_.run(std::forward<Work>(work));
  }
  // The same for a dialog, with `prompt` on an overlay that was not showing.
  void runBlockingWork(const QString& prompt, const std::function<void()>& work) override;
  // The benchmark of the UI loop compares the worker on and off.
  [[nodiscard]] BlockingWork& blockingWork() { return blockingWork_; }

  // --- Login and logout ---
  void setAccount();
  void setId();
  void chkShowPwdPlaintextOnClick();
  void textDidChange();
  void btnLoginOnClick();
  void btnCrtIdnoOnClick();
  // The login; the client's result code, or -1 when the input was refused.
  int32_t doBtsLogin();
  int32_t doLogout();
  void setUserLogin(bool loggedIn) { userLoggedIn_ = loggedIn; }
  [[nodiscard]] bool isUserLogin() const { return userLoggedIn_; }
  [[nodiscard]] static QString createIdno();
  void setCurrentPfxFilePath(const QString& path);

  // --- Expiry reminder ---
  // Records the .pfx that just became current with its certificate record
  // (for `karv --check-expiry`) and shows its days left; false when nothing
  // could be recorded.
  bool rememberCurrentCertificate(const QString& pfxPath, const StringMap& certInfo);
  // The certificate of this common name (and serial, when given) is revoked:
  // the window says so instead of its days left, and the reminder stops.
  void noteCertificateRevoked(const QString& cn, const QString& serial = {});

  // --- Function status and buttons ---
  // Fetches the status again and applies it; false (buttons unchanged) when the fetch fails.
  bool setBtnStatus();
  void setBtnStatus(const QString& fnStatus, int32_t certCount, int32_t effectCertCount);
  void invokeAutoPrcs(const QString& fnStatus);
  void btnBrowsePfxFileOnClick();
  [[nodiscard]] const QString& currentFnStatus() const { return currentFnStatus_; }

  // --- Identity verification before an application ("Apply") or a revocation ("Revoke") ---
  void doAuth(const QString& cn, const QString& type);
  void ApplyOrRevoke(const QString& mail, const QString& phone, const QString& birth, const QString& type);
  void showUserAuthWindow(const QString& mail, const QString& phone, const QString& birth, const QString& title,
                          SheetHandler handler);
  void showAuthCodeWindow(const QString& mail, const QString& phone, const QString& birth, const QString& type);
  // Their handlers get the entered text, wiped once they return.
  void showAuthCodeWindow(ResultHandler<QString> handler);
  void showBtsCertDlPwdWindow();
  void showBtsCertDlPwdWindow(ResultHandler<QString> handler);
  void showUserAgreement(SheetHandler handler);

  // --- Certificate workflows (entry points of the buttons) ---
  // Application once the identity is verified: agreement, request, Save-PFX
  // dialog, activation, the offer to install. Returns at once.
  void doApplyCert(const QString& cn);
  // Opens the Save-PFX dialog for the issued certificate and its key (empty:
  // the key kept from an earlier attempt). The dialog proposes the current
  // .pfx and asks for the password itself: path, password and errMsg are the
  // caller's and stay untouched.
  void doApplyCertSaveToPfx(const QString& b64Cert, const QString& b64PrivateKey, const QString& pfxFilePath,
                            const QString& pfxFilePwd, const std::optional<std::string>& errMsg);
  // Revocation once the identity is verified; runs to its end.
  void doRevokeCert(const QString& cn);
  // Renewal: agreement, then the continued renewal or the signed one, as
  // the function status says. Returns at once.
  void doRenewCert(const QString& cn);
  // The signed renewal: the old .pfx of the gateway's last active certificate first.
  void doRenewCertWithSign(const QString& cn);
  // Sends the renewal (signed with the .pfx unless both texts are empty) and
  // opens the Save-PFX dialog; the request's result code.
  int32_t doRenewCert(const QString& cn, const QString& pfxFilePath, const QString& pfxFilePwd);
  // What the gateway's last accepted application and renewal answered.
  [[nodiscard]] const StringMap& applyCertInfo() const { return applyCertInfo_; }
  [[nodiscard]] const StringMap& renewCertInfo() const { return renewCertInfo_; }
  // The server's record into the server table; the query's result code.
  int32_t doQrySvrCertInfo(const QString& cn);
  // The current .pfx into the client table: 0 when it opened at once with
  // the current password (only tried with tryToLoad), else -1 and the user
  // picks the file in the Load-PFX dialog.
  int32_t doQryClntCertInfo(const QString& cn, bool tryToLoad);
  int32_t doQryClntCertInfo(const QString& cn) { return doQryClntCertInfo(cn, false); }
  void doChangePfxPwd(const QString& cn);
  void doDepCert(const QString& cn);
  // Removal from the browsers; the protocol client's result, no message either way.
  int32_t doRmvDepCert(const QString& cn);

  // --- Browser installation (after the Load-PFX step) ---
  // Installs the current .pfx into the browsers chosen in the dialog, or
  // preselected by the configuration when "depCert.mode" is "N".
  void doDepCertChooseBrowser();
  // The handler gets the chosen browsers' records.
  void showDepCertWindow(const std::optional<std::string>& mode, ResultHandler<std::vector<BrowserRecord>> handler);

  // --- The user's .pfx file: save, load, change its password ---
  // Each dialog opens as a sheet and returns at once; its handler gets 1 when
  // the work is done (the file written, accepted or re-passworded), 0 after
  // Cancel, with what the dialog handed back (empty after Cancel; its
  // password wiped once the handler returns).
  void showSavePfxWindow(const QString& b64Cert, const QString& b64PrivateKey,
                         ResultHandler<SavePfxFileWindowResult> handler);
  // The written file becomes the current one.
  void getSavePfxWindowData(const QString& pfxFilePath, const QString& pfxFileName, const QString& pfxFilePwd);
  // Empty expected values are not checked.
  void showLoadPfxWindow(const QString& cnToCmp, const QString& issuerToCmp, const QString& hexSerialToCmp,
                         const QString& certHashToCmp, ResultHandler<LoadPfxFileWindowResult> handler);
  // The accepted file becomes the current one, remembered for the expiry reminder.
  void getLoadPfxWindowData(const QString& pfxFilePath, const QString& pfxFilePwd, const StringMap& certInfo);
  void showChgPfxPwdWindow(SheetHandler handler);
  // The current .pfx password of the protocol client; a null text clears it.
  void setCurrentPfxFilePwd(const QString& pwd);

  // --- Certificate tables ---
  void renderSvrCertInfo(const StringMap& record);
  void renderClntCertInfo(const StringMap& record);
  [[nodiscard]] const CertificateTables& certificateTables() const { return certificateTables_; }

  // --- Idle logout and keep-alive ---
  void doIAmAlive();
  void registerEventMonitor();
  void checkIdle();
  [[nodiscard]] SessionTimers& sessionTimers() { return sessionTimers_; }

  // --- Sheets: every dialog is a window-modal sheet on the main window ---
  // The common end of every sheet, before its handler: hides it and logs the result.
  void showWindowEndSheet(QDialog* sheet, int returnCode);

  // --- First-login password change ---
  void showUserChgBtsLoginPwdWindow(const QString& idno, SheetHandler handler);
  // A protocol client of the dialog's own, holding no session.
  [[nodiscard]] std::unique_ptr<KARVLib> newProtocolClient();

  // --- Protocol client and desktop ---
  KARVLib* getKARVlib();
  void openHomePage();

  [[nodiscard]] QMainWindow* window() const { return window_.get(); }
  [[nodiscard]] Ui::MainWindow* ui() const { return ui_.get(); }
  [[nodiscard]] KARVMask* mask() const;
  [[nodiscard]] const LoginForm& loginForm() const { return loginForm_; }

 private:
  // The busy overlay for one piece of blocking work when none is showing,
  // taken away again afterwards.
  class WorkOverlay {
   public:
    WorkOverlay(AppDelegate& app, const QString& prompt);
    ~WorkOverlay();
    WorkOverlay(const WorkOverlay&) = delete;
    WorkOverlay& operator=(const WorkOverlay&) = delete;

   private:
    AppDelegate& app_;
    bool own_;
  };

  void terminate();
  void wireMainWindow();
  // The days left beside the .pfx path, when the reminder knows the current file.
  void showPfxDaysLeft();
  void runFirstLoginChange(const QString& idno);
  void endFirstLoginChange(int returnCode);
  // Every alert passes here: the timers wait while one is open.
  int presentAlert(AlertPresenter::Alert alert);
  [[nodiscard]] QString userCn();
  void styleHomePageLink();
  // Client update after a refused version: messages, download, installer.
  void runClientUpdate();

  void handleUserAuthResult(int returnCode, const QString& mail, const QString& phone, const QString& birth,
                            const QString& type);
  void deliverAuthCode(int returnCode, const QString& mail, const QString& phone, const QString& birth,
                       const QString& type);
  // After the gateway accepted the code or the download password: the workflow.
  void continueVerified(const QString& type);
  // A refused code or download password.
  void reportVerifyFailure(const std::optional<std::string>& errMsg);
  // Installs the current .pfx into the browsers; an alert when that failed.
  void deployCertToBrowsers(const std::vector<BrowserRecord>& browsers);
  // Application and renewal begin alike: the overlay without text, then the
  // agreement, released before the handler gets its code.
  void askUserAgreement(SheetHandler handler);
  void applyAgreed(const QString& cn);
  void applySaved(int returnCode, const SavePfxFileWindowResult& saved);
  void renewAgreed(const QString& cn);
  void renewSaved(int returnCode, const SavePfxFileWindowResult& saved);
  // The messages of an application or a renewal once its .pfx is written.
  struct SavedCertTexts {
    QString reportPrompt;  // the overlay while the gateway learns of the file ("": the one showing stays)
    QString savedPrompt;   // the overlay once the gateway knows ("": none)
    QString failed;
    QString done;
  };
  // Reports the saved certificate to the gateway (certPath: where the file
  // is, none to send no place), offers the installation into the browsers on
  // success, then refreshes the buttons and the client table either way.
  void reportSavedCert(const StringMap& certInfo, const SavePfxFileWindowResult& saved,
                       const std::optional<std::string>& certPath, const SavedCertTexts& texts);
  // Once the gateway knows of the saved certificate no continued application
  // or renewal needs its key file: the file goes when the .pfx just written
  // opens with its password and holds that key.
  void removeKeyFilesOfSavedPfx(const SavePfxFileWindowResult& saved);

  AppServices services_;
  BlockingWork blockingWork_;
  std::unique_ptr<QMainWindow> window_;
  std::unique_ptr<Ui::MainWindow> ui_;
  LoginForm loginForm_;
  CertificateTables certificateTables_;
  SessionTimers sessionTimers_;
  std::unique_ptr<KARVLib> karvLib_;
  QPointer<KARVMask> mask_;
  QString currentFnStatus_;
  bool userLoggedIn_ = false;
  bool terminating_ = false;
  SheetHost sheets_;
  StringMap applyCertInfo_;
  StringMap renewCertInfo_;
  int32_t myErrorCode_ = 0;
};

}  // namespace karv::app
