#pragma once

#include "SettingsView.h"

#include <memory>

namespace Ui {
class SettingsAcntAddress;
}
class QLineEdit;

// The pane of an account that needs only a sender address: direct delivery
// ("localserver") and the local mail system ("applemail").
class AddressOnlySettingsView : public SettingsView {
    Q_OBJECT
public:
    AddressOnlySettingsView(const QString &accountType, const QString &explanation, QWidget *parent = nullptr);
    ~AddressOnlySettingsView() override;

    [[nodiscard]] QVariantMap accountData() const override;
    void setAccountData(const QVariant &data) override;

    [[nodiscard]] QLineEdit *mailAddress() const;

private:
    std::unique_ptr<Ui::SettingsAcntAddress> m_ui;
    QString m_accountType;
};

// Direct delivery to each recipient's mail exchanger.
class LocalServerSettingsView final : public AddressOnlySettingsView {
    Q_OBJECT
public:
    explicit LocalServerSettingsView(QWidget *parent = nullptr);
};

// Hand-off to the local mail system.
class AppleMailSettingsView final : public AddressOnlySettingsView {
    Q_OBJECT
public:
    explicit AppleMailSettingsView(QWidget *parent = nullptr);
};
