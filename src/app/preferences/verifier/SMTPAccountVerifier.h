#pragma once

// The sheet over the SMTP account pane while its settings are tried
// against the server: a busy bar and Cancel; at the end an alert with the
// result, and for settings that work only on another port or encryption the
// corrections go to the pane. The logic runs in VerifierRun; the sheet
// deletes itself when it ends.
//
// Main thread only.

#include "VerifierRun.h"

#include <QDialog>
#include <QPointer>
#include <QVariantMap>

#include <memory>
#include <optional>

class QProgressBar;
class QPushButton;
class SMTPSettingsView;
namespace Ui {
class SMTPAccountVerifier;
}

class SMTPAccountVerifier final : public QDialog {
    Q_OBJECT
public:
    // Shown over the parent window.
    explicit SMTPAccountVerifier(QWidget *parentWindow);
    ~SMTPAccountVerifier() override;
    Q_DISABLE_COPY_MOVE(SMTPAccountVerifier)

    // The account to try; a typed password goes before the stored one.
    void setAccountData(const QVariantMap &account, const QString &typedPassword = QString());
    // Receives the corrections; held weakly.
    void setDelegate(SMTPSettingsView *pane) { m_delegate = pane; }
    void setFallbacks(const QList<VerifierCandidate> &fallbacks) { m_fallbacks = fallbacks; }
    void setLimits(const VerifierLimits &limits) { m_limits = limits; }

    // Gets the password (the typed one, the keychain's, else the user's
    // answer to a prompt), then shows the sheet and starts. False, and
    // nothing shown, when the account authenticates and no password could
    // be had (the sheet then deletes itself).
    bool displayAsSheet();

    [[nodiscard]] QProgressBar *progIndicator() const;
    [[nodiscard]] QPushButton *cancelButton() const;
    [[nodiscard]] VerifierRun *run() const { return m_run.get(); }

    // The pairs tried after the account's own in new verifiers; nothing
    // puts the usual ones back. For tests, which map them to loopback ports.
    static void setDefaultFallbacks(const std::optional<QList<VerifierCandidate>> &fallbacks);

public slots:
    void cancelClicked();
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void resultArrived(const VerifierResult &result);
    void end();

    std::unique_ptr<Ui::SMTPAccountVerifier> m_ui;
    QPointer<QWidget> m_parentWindow;
    QPointer<SMTPSettingsView> m_delegate;
    VerifierSettings m_settings;
    QString m_typedPassword;
    QList<VerifierCandidate> m_fallbacks;
    VerifierLimits m_limits;
    std::shared_ptr<VerifierRun> m_run;
    bool m_ended = false;
};
