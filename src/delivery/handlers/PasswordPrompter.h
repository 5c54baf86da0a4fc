#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>

// Asks the user for an SMTP account's password when neither the run's
// set-up nor the keychain has one. The window library supplies the real
// prompt at start-up (setDefault); tests give a handler one of their own.
class PasswordPrompter {
public:
    virtual ~PasswordPrompter() = default;

    // Main thread; returns once the user answered. The typed text (an empty
    // field gives an empty, non-null string), or nothing on cancel. The
    // server and login say which account the password is for.
    [[nodiscard]] virtual std::optional<QString> askForPassword(QObject *parentWindow, const QString &server,
                                                                const QString &login) = 0;

    // The prompt of handlers that were given none; nullptr: nobody can be
    // asked, so a needed password is refused.
    static void setDefault(std::shared_ptr<PasswordPrompter> prompter)
    {
        const std::lock_guard lock(defaultMutex());
        defaultSlot() = std::move(prompter);
    }
    [[nodiscard]] static std::shared_ptr<PasswordPrompter> defaultPrompter()
    {
        const std::lock_guard lock(defaultMutex());
        return defaultSlot();
    }

private:
    static std::mutex &defaultMutex()
    {
        static std::mutex mutex;
        return mutex;
    }
    static std::shared_ptr<PasswordPrompter> &defaultSlot()
    {
        static std::shared_ptr<PasswordPrompter> prompter;
        return prompter;
    }
};
