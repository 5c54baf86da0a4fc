#pragma once

#include <QVariant>
#include <QVariantMap>

// What the preferences window asks of the pane that shows an account.
class AccountPane {
public:
    virtual ~AccountPane() = default;

    // A new account dictionary from the controls; no side effects. Empty
    // for the pane shown when no account is.
    [[nodiscard]] virtual QVariantMap accountData() const = 0;
    // Fills the controls from a stored entry. Raises AppException
    // (InternalInconsistency) for an entry that is missing or no dictionary.
    virtual void setAccountData(const QVariant &data) = 0;
    // Stores what belongs outside the dictionary (a password the user typed)
    // and tells the user when that fails. Called when the pane is stored.
    virtual void storeSecrets() {}
};
