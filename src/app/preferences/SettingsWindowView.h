#pragma once

#include <QString>

#include <exception>

class AccountPane;

// What SettingsEditor asks of the preferences window's widgets.
class SettingsWindowView {
public:
    virtual ~SettingsWindowView() = default;

    // Replaces the shown pane by a new one for the account type ("smtp",
    // "localserver", "applemail"; empty for the pane of no account) and
    // returns it; the pane lives until the next call.
    virtual AccountPane &showAccountPane(const QString &type) = 0;
    // The text of the account name field.
    [[nodiscard]] virtual QString accountNameText() const = 0;
    // Selects the type menu item (-1: none) and shows the name; both are
    // enabled exactly when an account is shown.
    virtual void showAccountControls(bool accountShown, int typeIndex, const QString &name) = 0;
    // Selects the row of the account list (-1: none) without reporting it back.
    virtual void selectAccountRow(int row) = 0;
    // A change could not be written to the preferences file.
    virtual void reportWriteFailure(const QString &filePath) = 0;
    virtual void reportException(const std::exception &exception) = 0;
};
