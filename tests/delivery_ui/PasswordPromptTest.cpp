// The password prompt, answered by clicks while its caller waits.
#include "AskPasswordView.h"
#include "Keychain.h"
#include "KeychainMemoryBackend.h"
#include "MailHandler_smtp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Runs `act` on the prompt as soon as it is up.
void whenPromptShows(std::function<void(AskPasswordView *)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (auto *view = qobject_cast<AskPasswordView *>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            timer->stop();
            act(view);
        }
    });
    timer->start();
}

} // namespace

TEST(PasswordPrompt, OkGivesTheTextEvenWhenEmptyAndCancelGivesNothing)
{
    QWidget window;
    window.show();
    QtPasswordPrompter prompter;

    QPointer<AskPasswordView> shown;
    whenPromptShows([&](AskPasswordView *view) {
        shown = view;
        EXPECT_EQ(view->parentWidget(), &window);
        EXPECT_EQ(view->windowModality(), Qt::WindowModal);
        EXPECT_EQ(view->passwordField()->echoMode(), QLineEdit::Password);
        EXPECT_TRUE(view->promptText().contains("<b>me</b>%1") && view->promptText().contains("smtp.example.org"))
            << view->promptText().toStdString();
        QTest::keyClicks(view->passwordField(), "s3cr et");
        QTest::mouseClick(view->okButton(), Qt::LeftButton);
    });
    EXPECT_EQ(prompter.askForPassword(&window, " smtp.example.org", "<b>me</b>%1"), std::optional<QString>("s3cr et"));
    QTRY_VERIFY(shown.isNull()); // deletes itself

    whenPromptShows([](AskPasswordView *view) { QTest::mouseClick(view->okButton(), Qt::LeftButton); });
    const auto empty = prompter.askForPassword(&window, "s", "l");
    ASSERT_TRUE(empty.has_value());
    EXPECT_FALSE(empty->isNull());
    EXPECT_TRUE(empty->isEmpty());

    whenPromptShows([](AskPasswordView *view) {
        QTest::keyClicks(view->passwordField(), "typed");
        QTest::mouseClick(view->cancelButton(), Qt::LeftButton);
    });
    EXPECT_FALSE(prompter.askForPassword(&window, "s", "l").has_value());

    whenPromptShows([](AskPasswordView *view) { QTest::keyClick(view, Qt::Key_Escape); });
    EXPECT_FALSE(prompter.askForPassword(&window, "s", "l").has_value());
}

TEST(PasswordPrompt, ClosingTheWindowUnderThePromptIsACancel)
{
    auto *window = new QWidget;
    window->show();
    whenPromptShows([window](AskPasswordView *) { delete window; });
    QtPasswordPrompter prompter;
    EXPECT_FALSE(prompter.askForPassword(window, "s", "l").has_value());
}

TEST(PasswordPrompt, SmtpSetupAsksThroughThePrompt)
{
    QWidget window;
    window.show();
    Keychain::setBackend(std::make_shared<KeychainMemoryBackend>());
    PasswordPrompter::setDefault(std::make_shared<QtPasswordPrompter>());
    const QVariantMap account{{"accountType", "smtp"}, {"smtpServer", "smtp.example.org"},
                              {"smtpPort", "25"},      {"smtpLogin", "user"},
                              {"smtpAuthType", "1"}};
    MailHandler_smtp handler;
    handler.setConnectionData(account);
    whenPromptShows([](AskPasswordView *view) {
        EXPECT_TRUE(view->promptText().contains("smtp.example.org") && view->promptText().contains("user"));
        QTest::keyClicks(view->passwordField(), "pw");
        QTest::mouseClick(view->okButton(), Qt::LeftButton);
    });
    const auto setup = handler.setup(&window, std::nullopt);
    ASSERT_TRUE(setup.has_value());
    EXPECT_EQ(setup->value("password").toString(), "pw");

    whenPromptShows([](AskPasswordView *view) { QTest::mouseClick(view->cancelButton(), Qt::LeftButton); });
    MailHandler_smtp refused;
    refused.setConnectionData(account);
    EXPECT_FALSE(refused.setup(&window, std::nullopt).has_value());
    PasswordPrompter::setDefault(nullptr);
    Keychain::setBackend(nullptr);
}
