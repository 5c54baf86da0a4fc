#include "AskPasswordView.h"

#include "Localizer.h"
#include "MainThread.h"
#include "ui_AskPassword.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <utility>

AskPasswordView::AskPasswordView(QWidget *parentWindow, const QString &server, const QString &login)
    : QDialog(parentWindow), m_ui(std::make_unique<Ui::AskPassword>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Localizer::localizedString("AskPassword", "Password Title"));
    // Both names come from the account: shown as typed, never as markup,
    // and one arg() call so that a "%1" in them stays text.
    m_ui->promptLabel->setTextFormat(Qt::PlainText);
    m_ui->promptLabel->setText(
        Localizer::localizedString("AskPassword", "Password Prompt For").arg(login.trimmed(), server.trimmed()));
    m_ui->okButton->setText(Localizer::localizedString("AskPassword", "Password OK"));
    m_ui->cancelButton->setText(Localizer::localizedString("AskPassword", "Password Cancel"));
    connect(m_ui->okButton, &QPushButton::clicked, this, &AskPasswordView::okClicked);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &AskPasswordView::cancelClicked);
}

AskPasswordView::~AskPasswordView()
{
    answer(std::nullopt);
}

void AskPasswordView::displayWithParentWindow(AnswerHandler onAnswer)
{
    m_onAnswer = std::move(onAnswer);
    // Window-modal on its parent; application-modal when there is none.
    open();
    m_ui->passwordField->setFocus();
}

QLineEdit *AskPasswordView::passwordField() const
{
    return m_ui->passwordField;
}

QPushButton *AskPasswordView::okButton() const
{
    return m_ui->okButton;
}

QPushButton *AskPasswordView::cancelButton() const
{
    return m_ui->cancelButton;
}

QString AskPasswordView::promptText() const
{
    return m_ui->promptLabel->text();
}

void AskPasswordView::okClicked()
{
    QString password = m_ui->passwordField->text();
    // An empty field is an answer, not a refusal.
    if (password.isNull())
        password = QStringLiteral("");
    m_ui->passwordField->clear();
    answer(password);
    accept();
}

void AskPasswordView::cancelClicked()
{
    reject();
}

void AskPasswordView::reject()
{
    // Escape and the window's close button refuse like the Cancel button.
    m_ui->passwordField->clear();
    answer(std::nullopt);
    QDialog::reject();
}

void AskPasswordView::answer(const std::optional<QString> &password)
{
    // Taken out first: the handler may end the loop that owns this prompt.
    AnswerHandler handler = std::exchange(m_onAnswer, nullptr);
    if (handler)
        handler(password);
}

AskPasswordView *QtPasswordPrompter::makeView(QObject *parentWindow, const QString &server,
                                              const QString &login) const
{
    QWidget *parent = qobject_cast<QWidget *>(parentWindow);
    if (parent)
        parent = parent->window();
    auto *view = new AskPasswordView(parent, server, login);
    if (m_furnish)
        m_furnish(view);
    return view;
}

PasswordPrompter::TakeBack QtPasswordPrompter::beginAsking(QObject *parentWindow, const QString &server,
                                                          const QString &login, Answer answered)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        answered(std::nullopt);
        return {};
    }
    QPointer<AskPasswordView> view = makeView(parentWindow, server, login);
    view->displayWithParentWindow(std::move(answered));
    // Cancelling answers the question; a prompt already answered has gone.
    return [view] {
        if (view)
            view->reject();
    };
}

std::optional<QString> QtPasswordPrompter::askForPassword(QObject *parentWindow, const QString &server,
                                                          const QString &login)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return std::nullopt;
    if (!MainThread::isMainThread()) {
        std::optional<QString> answer;
        MainThread::invokeAndWait([&] { answer = askForPassword(parentWindow, server, login); });
        return answer;
    }
    QPointer<AskPasswordView> view = makeView(parentWindow, server, login);
    std::optional<QString> answer;
    bool answered = false;
    QEventLoop loop;
    view->displayWithParentWindow([&](const std::optional<QString> &password) {
        answer = password;
        answered = true;
        loop.quit();
    });
    if (!answered)
        loop.exec();
    // The loop can also end because the application quits; the prompt must
    // not call into this frame afterwards.
    if (!answered && view) {
        view->forgetAnswerHandler();
        view->close();
    }
    return answer;
}
