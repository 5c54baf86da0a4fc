// The sheets before and during a run: the send sheet (accounts, test
// tables, blind copies), the confirmation with its remembered answer, the
// progress sheet, and their pictures.

#include "SendTestSupport.h"

#include "../foundation_ui/RecordingAlertPresenter.h"

#include "CheckSheet.h"
#include "CheckSheetModel.h"
#include "SendMailsProgressWindow.h"
#include "SendMailsWindow.h"
#include "TestTableSource.h"

#include "UserDefaults.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class ListedTestTables : public TestTableSource {
public:
    ListedTestTables() { TestTableSource::setCurrent(this); }
    ~ListedTestTables() override { TestTableSource::setCurrent(nullptr); }
    QList<Entry> testTables() const override { return entries; }
    std::unique_ptr<Database> loadTestTable(const QString &uid) const override
    {
        for (const Entry &entry : entries) {
            if (entry.uid == uid) {
                auto table = std::make_unique<Database>();
                fillTable(*table, {{entry.name + "@x.test", entry.name}});
                return table;
            }
        }
        return nullptr;
    }
    QList<Entry> entries;
};

QVariantMap account(const QString &name)
{
    QVariantMap data = smtpAccount(2525);
    data.insert(AccountKeys::AccountName, name);
    return data;
}

TEST(SendSheet, ARememberedAccountOutsideTheListBecomesTheFirst)
{
    Settings::setAccountArray({account("one"), account("two"), account("three")});
    for (const int remembered : {5, -2, 3, 1}) {
        SCOPED_TRACE(remembered);
        Settings::setLastSelectedAccount(remembered);
        SendSheetModel model;
        model.updateControls();
        const int expected = remembered == 1 ? 1 : 0;
        EXPECT_EQ(model.selectedAccount(), expected);
        EXPECT_EQ(Settings::lastSelectedAccount(), expected);
        EXPECT_EQ(model.selectedAccountData(), account(QStringList{"one", "two", "three"}.at(expected)));
    }
}

TEST(SendSheet, TheTestTableItemNeedsATableAndTheChoiceIsKeptByIdentifier)
{
    ListedTestTables tables;
    Settings::setAccountArray({account("one")});
    SendMailsWindow empty;
    EXPECT_FALSE(empty.testDatabaseMenu()->menuAction()->isEnabled());

    tables.entries = {{"Friends", "tbl-a"}, {"Family & Co", "tbl-b"}};
    SendMailsWindow sheet;
    ASSERT_TRUE(sheet.testDatabaseMenu()->menuAction()->isEnabled());
    ASSERT_EQ(sheet.testDatabaseMenu()->actions().size(), 2);
    sheet.testDatabaseMenu()->actions().at(1)->trigger();
    EXPECT_EQ(sheet.model().target(), SendSheetModel::TestTable);
    EXPECT_EQ(sheet.model().selectedTestTableUid(), "tbl-b");

    // The table before it goes while the sheet is open: still "tbl-b".
    tables.entries.removeFirst();
    sheet.updateTestDatabaseList();
    EXPECT_EQ(sheet.model().selectedTestTableUid(), "tbl-b");
    // The chosen one goes: back to all recipients, nothing to mistake it for.
    tables.entries = {{"Friends", "tbl-a"}};
    sheet.updateTestDatabaseList();
    EXPECT_EQ(sheet.model().target(), SendSheetModel::AllRecipients);
}

TEST(SendSheet, ATestTableDeletedWhileTheSheetIsOpenSendsToNoOtherTable)
{
    RecordingAlertPresenter alerts;
    ListedTestTables tables;
    tables.entries = {{"Friends", "tbl-a"}, {"Family", "tbl-b"}};
    MyDocument document;
    document.showWindows();
    document.messageTab().setSubjectText(RichText(QStringLiteral("Hello")));
    Settings::setAccountArray({account("one")});
    SendMailsUIHandler *handler = document.sendUIHandler();
    handler->initiateSend();
    SendMailsWindow *sheet = handler->sendWindow();
    ASSERT_TRUE(sheet);
    sheet->testDatabaseMenu()->actions().at(0)->trigger();
    tables.entries.removeFirst();
    sheet->okClicked();
    EXPECT_FALSE(handler->isSending());
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown.front().title, "Test table not found");
}

TEST(SendSheet, BlindCopiesAreCheckedAtOk)
{
    const QList<std::pair<QString, QString>> cases{
        {"a@x.test, ,b@y.test", QString()},
        {"  ", QString()},
        {"a@x.test, nobody", "nobody"},
        {"a@x.test\r\nRCPT TO:<b@y.test>", "a@x.test\r\nRCPT TO:<b@y.test>"},
        {"a@x\u2028b@y", "a@x\u2028b@y"},
    };
    for (const auto &[text, bad] : cases) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(SendSheetModel::badBccAddress(text), bad);
    }
    EXPECT_EQ(SendSheetModel::bccPieces("a@x.test, ,b@y.test"), (QStringList{"a@x.test", "", "b@y.test"}));

    RecordingAlertPresenter alerts;
    MyDocument document;
    document.showWindows();
    Settings::setAccountArray({account("one")});
    SendMailsUIHandler *handler = document.sendUIHandler();
    handler->initiateSend();
    SendMailsWindow *sheet = handler->sendWindow();
    ASSERT_TRUE(sheet);
    sheet->bccAddressField()->setText("a@x.test\nRCPT TO:<b@y.test>");
    sheet->okClicked();
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_TRUE(alerts.shown.front().text.contains("RCPT TO:<b@y.test>")) << "the alert names the address";
    EXPECT_TRUE(sheet->isVisible()) << "the sheet stays for the correction";
    EXPECT_FALSE(handler->isSending());
    sheet->cancelClicked();
}

TEST(CheckSheet, TheRememberedAnswer)
{
    const QString name = SendMailsUIHandler::ConfirmationSheetName;
    UserDefaults &defaults = UserDefaults::standardUserDefaults();
    const QString key = CheckSheetModel::defaultsKey(name);
    EXPECT_EQ(key, "show_AskSendMessages");
    QWidget window;

    struct Case {
        const char *name;
        std::function<void(CheckSheet &)> act;
        int tag;
        QVariant stored;
    };
    const QList<Case> cases{
        {"cancel with the box ticked", [](CheckSheet &sheet) { sheet.buttonWithTag(0)->click(); }, 0, QVariant()},
        {"escape with the box ticked", [](CheckSheet &sheet) { QTest::keyClick(&sheet, Qt::Key_Escape); }, -1,
         QVariant()},
        {"confirmed with the box ticked", [](CheckSheet &sheet) { sheet.buttonWithTag(1)->click(); }, 1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        defaults.removeObjectForKey(key);
        QList<int> answers;
        CheckSheet::displaySheet(name, &window, [&](int tag) { answers.append(tag); });
        auto *sheet = window.findChild<CheckSheet *>();
        ASSERT_TRUE(sheet);
        sheet->checkbox()->setChecked(true);
        c.act(*sheet);
        EXPECT_EQ(answers, QList<int>{c.tag});
        EXPECT_EQ(defaults.objectForKey(key).isValid(), c.stored.isValid());
        if (c.stored.isValid()) {
            EXPECT_EQ(defaults.integerForKey(key), c.stored.toInt());
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Remembered, or written "No" by hand: yes at once, no sheet.
    for (const QVariant &stored : {QVariant(0), QVariant(QStringLiteral("No"))}) {
        defaults.setObject(stored, key);
        QList<int> answers;
        CheckSheet::displaySheet(name, &window, [&](int tag) { answers.append(tag); });
        EXPECT_EQ(answers, QList<int>{1});
        EXPECT_FALSE(window.findChild<CheckSheet *>());
    }
    defaults.removeObjectForKey(key);
}

TEST(ProgressSheet, ShowsTheCountTheBarsAndTheCancelStages)
{
    SendMailsProgressWindow sheet;
    sheet.setMessageCount(10);
    sheet.setCurrentMessage(3);
    sheet.setMessageCompletition(0.5);
    sheet.updateDisplay();
    EXPECT_EQ(sheet.mailsSentField()->text(), "3 / 10");
    EXPECT_DOUBLE_EQ(double(sheet.totalProgress()->value()) / sheet.totalProgress()->maximum(), 0.3);
    EXPECT_EQ(sheet.mailProgress()->value(), sheet.mailProgress()->maximum() / 2);
    EXPECT_TRUE(sheet.cancelButton()->isEnabled());
    sheet.resize(420, 150);
    EXPECT_TRUE(saveScreenshot(&sheet, QStringLiteral("progress-sheet.png")));

    // No messages: an empty bar, not Qt's busy one.
    sheet.setMessageCount(0);
    sheet.setCurrentMessage(0);
    sheet.updateDisplay();
    EXPECT_GT(sheet.totalProgress()->maximum(), 0);
    EXPECT_EQ(sheet.totalProgress()->value(), 0);

    sheet.setCancelEnabled(false);
    EXPECT_FALSE(sheet.cancelButton()->isEnabled());
    EXPECT_EQ(sheet.mailProgress()->maximum(), 0) << "the message bar shows no share";
}

TEST(SendSheet, Screenshot)
{
    ListedTestTables tables;
    tables.entries = {{"Friends", "tbl-a"}};
    Settings::setAccountArray({account("Office"), account("Newsletter")});
    Settings::setLastSelectedAccount(1);
    SendMailsWindow sheet;
    sheet.bccAddressField()->setText("archive@example.org");
    sheet.resize(440, 200);
    EXPECT_EQ(sheet.accountInput()->currentText(), "Newsletter");
    EXPECT_EQ(sheet.priorityInput()->currentIndex(), 2) << "the priority that sends no header";
    EXPECT_TRUE(saveScreenshot(&sheet, QStringLiteral("send-sheet.png")));
}

} // namespace
