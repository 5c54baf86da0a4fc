#pragma once

#include "SettingsView.h"
#include "SmtpAccountForm.h"

#include <memory>

class QButtonGroup;
namespace Ui {
class SettingsAcntSMTP;
}

// The pane of an SMTP account: sender, server, port, encryption,
// authentication with login and password (the password goes to the
// keychain, never into the dictionary), the pause, and the verifier. The
// rules live in SmtpAccountForm; this shows them.
class SMTPSettingsView final : public SettingsView {
    Q_OBJECT
public:
    explicit SMTPSettingsView(QWidget *parent = nullptr);
    ~SMTPSettingsView() override;

    [[nodiscard]] QVariantMap accountData() const override { return m_form.accountData(); }
    void setAccountData(const QVariant &data) override;
    // A password that could not be stored is shown with the reason.
    void storeSecrets() override;

    [[nodiscard]] const SmtpAccountForm &form() const { return m_form; }

public slots:
    // Opens the verifier over the pane's window with the pane's settings.
    void verifySettings();
    // The verifier's corrections.
    void fixAccountSettings(const QVariantMap &settings);

private:
    // Shows what the form holds; text fields keep the cursor where they match.
    void refresh();
    void connectControls();

    std::unique_ptr<Ui::SettingsAcntSMTP> m_ui;
    QButtonGroup *m_encryption;
    SmtpAccountForm m_form;
};
