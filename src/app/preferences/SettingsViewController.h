#pragma once

#include <QString>

class QWidget;
class SettingsView;

// Makes the account pane for an account type: "smtp", "localserver",
// "applemail", or any other value for the pane of no account.
class SettingsViewController {
public:
    SettingsViewController() = delete;

    [[nodiscard]] static SettingsView *loadAccountView(const QString &type, QWidget *parent);
};
