#pragma once

#include "PasswordPrompter.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>

class QLineEdit;
class QPushButton;
namespace Ui {
class AskPassword;
}

// The prompt for an SMTP password: modal for its parent window only, it
// deletes itself once answered and hands the answer to one callback.
class AskPasswordView final : public QDialog {
    Q_OBJECT
public:
    // The typed text (never null), or nothing on cancel.
    using AnswerHandler = std::function<void(const std::optional<QString> &)>;

    // The prompt names the server and login the password is for.
    AskPasswordView(QWidget *parentWindow, const QString &server, const QString &login);
    // Unanswered (its window closed under it, say): the answer is a cancel.
    ~AskPasswordView() override;
    Q_DISABLE_COPY_MOVE(AskPasswordView)

    // Shows the prompt; the handler is called once.
    void displayWithParentWindow(AnswerHandler onAnswer);
    // The caller no longer waits: the prompt calls nobody.
    void forgetAnswerHandler() { m_onAnswer = nullptr; }

    [[nodiscard]] QLineEdit *passwordField() const;
    [[nodiscard]] QPushButton *okButton() const;
    [[nodiscard]] QPushButton *cancelButton() const;
    [[nodiscard]] QString promptText() const;

public slots:
    void reject() override;

private slots:
    void okClicked();
    void cancelClicked();

private:
    void answer(const std::optional<QString> &password);

    std::unique_ptr<Ui::AskPassword> m_ui;
    AnswerHandler m_onAnswer;
};

// The application's prompt for the SMTP handler: shows AskPasswordView on
// the document window. Asked to wait, it waits in a local event loop, so
// the rest of the application stays live; off the main thread it asks the
// main thread.
class QtPasswordPrompter final : public PasswordPrompter {
public:
    // What the application puts on each prompt: the prompt blocks its
    // window's menus while the run waits for it.
    using Furnisher = std::function<void(QWidget *prompt)>;
    explicit QtPasswordPrompter(Furnisher furnish = {}) : m_furnish(std::move(furnish)) {}

    [[nodiscard]] std::optional<QString> askForPassword(QObject *parentWindow, const QString &server,
                                                        const QString &login) override;
    [[nodiscard]] TakeBack beginAsking(QObject *parentWindow, const QString &server, const QString &login,
                                       Answer answered) override;

private:
    [[nodiscard]] AskPasswordView *makeView(QObject *parentWindow, const QString &server, const QString &login) const;

    Furnisher m_furnish;
};
