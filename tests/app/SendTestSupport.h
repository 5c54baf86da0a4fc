#pragma once

// What the tests of sending from the window share: scripted file panels,
// a document with a recipient table, accounts, waiting for a run's end,
// and the log's plain text.

#include "FilePanels.h"
#include "LogTab.h"
#include "MyDocument.h"
#include "SendMailsUIHandler.h"

#include "Database.h"
#include "RichText.h"
#include "Settings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QThread>
#include <QTimer>

#include <deque>
#include <functional>
#include <string>

// Answers each panel at once from the queue; an empty queue cancels.
class ScriptedFilePanels : public FilePanels {
public:
    ScriptedFilePanels() { FilePanels::setCurrent(this); }
    ~ScriptedFilePanels() override { FilePanels::setCurrent(nullptr); }

    QStringList openFiles(QWidget *, const QString &, const QStringList &, bool several) override
    {
        asked.append(several ? QStringLiteral("files") : QStringLiteral("file"));
        return next();
    }
    QString chooseFolder(QWidget *, const QString &) override
    {
        asked.append(QStringLiteral("folder"));
        return next().value(0);
    }
    QString saveFile(QWidget *, const QString &, const QString &suffix) override
    {
        asked.append(QStringLiteral("save ") + suffix);
        return next().value(0);
    }

    std::deque<QStringList> answers;
    QStringList asked;

private:
    QStringList next()
    {
        if (answers.empty())
            return {};
        QStringList answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

struct Recipient {
    QString address;
    QString name;
    bool active = true;
};

// The document's table: slot 0 the address, slot 1 the name.
inline void fillTable(Database &table, const QList<Recipient> &recipients)
{
    QList<QVariantMap> entries;
    for (const Recipient &r : recipients) {
        QVariantMap entry{{QStringLiteral("0"), r.address}, {QStringLiteral("1"), r.name}};
        if (!r.active)
            entry.insert(Database::ActiveKey, false);
        entries.append(entry);
    }
    table.setEntryArray(entries);
    table.setAddressFieldNo(0);
}

inline QVariantMap smtpAccount(int port, const QString &from = QStringLiteral("Sender <sender@test.example>"))
{
    return {
        {AccountKeys::AccountType, AccountTypes::Smtp},
        {AccountKeys::AccountName, QStringLiteral("test %1").arg(port)},
        {AccountKeys::MailFromAddress, from},
        {AccountKeys::SmtpServer, QStringLiteral("127.0.0.1")},
        {AccountKeys::SmtpPort, QString::number(port)},
        {AccountKeys::SmtpAuthType, QStringLiteral("0")},
        {AccountKeys::UseSSL, QStringLiteral("0")},
        {AccountKeys::UseTLS, QStringLiteral("0")},
    };
}

// The accounts stored, and the first one chosen as the send sheet would.
inline void useAccount(SendMailsUIHandler &handler, const QVariantMap &account)
{
    Settings::setAccountArray({account});
    handler.setAccountNo(0);
    handler.setAccountData(account);
    handler.setPriority(3);
}

// Handles events until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

inline bool waitForRunEnd(SendMailsUIHandler &handler, int timeoutMs = 30000)
{
    return waitUntil([&] { return !handler.isSending(); }, timeoutMs);
}

// The picture of a window, for review: in CORV_SCREENSHOT_DIR, else in
// the build folder beside the other windows' pictures.
inline bool saveScreenshot(QWidget *widget, const QString &name)
{
    QString folder = qEnvironmentVariable("CORV_SCREENSHOT_DIR");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/app");
    return QDir().mkpath(folder) && widget->grab().save(QDir(folder).filePath(name));
}

// A question a real message box asks while `ask` runs, answered by
// `answer` once it is up: its text and informative text, its buttons'
// texts in order of name, and its picture when a name is given.
struct AskedQuestion {
    QString text;
    QStringList buttons;
};
inline AskedQuestion answerQuestion(const std::function<void()> &ask, const std::function<void(QMessageBox *)> &answer,
                                    const QString &screenshot = {})
{
    AskedQuestion asked;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        asked.text = box->informativeText().isEmpty() ? box->text()
                                                      : box->text() + QLatin1Char(' ') + box->informativeText();
        for (QAbstractButton *button : box->buttons())
            asked.buttons.append(button->text());
        asked.buttons.sort();
        if (!screenshot.isEmpty())
            saveScreenshot(box, screenshot);
        answer(box);
    });
    poll.start(5);
    ask();
    poll.stop();
    return asked;
}

// An answer that clicks the button of that text.
inline std::function<void(QMessageBox *)> clickButton(const QString &text)
{
    return [text](QMessageBox *box) {
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == text)
                button->click();
        }
    };
}

// As a standard string, which failure messages show as text.
inline std::string logPlainText(LogTab &log)
{
    log.flush();
    return log.textView()->toPlainText().toStdString();
}
