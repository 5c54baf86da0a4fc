#pragma once

#include "AccountPane.h"

#include <QWidget>

// The base of the account panes of the preferences window, and itself the
// pane shown when no account is: it makes no dictionary and takes none.
class SettingsView : public QWidget, public AccountPane {
    Q_OBJECT
public:
    using QWidget::QWidget;

    [[nodiscard]] QVariantMap accountData() const override { return {}; }
    void setAccountData(const QVariant &data) override { (void)data; }

protected:
    // The entry as a dictionary; raises like the SMTP pane for anything else.
    [[nodiscard]] static QVariantMap checkedAccount(const QVariant &data);
};
