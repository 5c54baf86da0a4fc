#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// Asks the user for an SMTP account's password when neither the run's
// set-up nor the keychain has one. The window library supplies the real
// prompt at start-up (setDefault); tests give a handler one of their own.
class PasswordPrompter {
public:
    using Answer = std::function<void(const std::optional<QString> &)>;
    // Takes a question back: its answer comes at once, as a refusal. Does
    // nothing once the question is answered.
    using TakeBack = std::function<void()>;

    virtual ~PasswordPrompter() = default;

    // Main thread; returns once the user answered. The typed text (an empty
    // field gives an empty, non-null string), or nothing on cancel. The
    // server and login say which account the password is for.
    [[nodiscard]] virtual std::optional<QString> askForPassword(QObject *parentWindow, const QString &server,
                                                                const QString &login) = 0;
    // Main thread. The same question, but the main thread goes on with its
    // events while it is open: answered is called once, with what
    // askForPassword would return, perhaps before this returns. A wait for
    // the answer then never rests on an event loop further down the main
    // thread's stack, which a quit could otherwise be waiting on for ever.
    [[nodiscard]] virtual TakeBack beginAsking(QObject *parentWindow, const QString &server, const QString &login,
                                               Answer answered)
    {
        answered(askForPassword(parentWindow, server, login));
        return {};
    }

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
