#include "SendMailsWindow.h"

#include "ui_SendMailsPanel.h"

#include "SendMailsUIHandler.h"

#include "AlertPresenter.h"
#include "Localizer.h"
#include "MenuText.h"
#include "Sheets.h"

#include <QAction>
#include <QMenu>

namespace {

QString targetTitle(SendSheetModel::Target target)
{
    switch (target) {
    case SendSheetModel::AllRecipients:
        return Localizer::localizedString("SendMails", "TARGET_ALL");
    case SendSheetModel::SimulatedRun:
        return Localizer::localizedString("SendMails", "TARGET_SIMULATED");
    case SendSheetModel::TestTable:
        break;
    }
    return Localizer::localizedString("SendMails", "TARGET_TEST_TABLE");
}

} // namespace

SendMailsWindow::SendMailsWindow(QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SendMailsPanel>())
{
    m_ui->setupUi(this);
    // Item i (from 0) stands for priority i + 1.
    m_ui->priorityInput->addItems({
        Localizer::localizedString("SendMails", "PRIORITY_1"),
        Localizer::localizedString("SendMails", "PRIORITY_2"),
        Localizer::localizedString("SendMails", "PRIORITY_3"),
        Localizer::localizedString("SendMails", "PRIORITY_4"),
        Localizer::localizedString("SendMails", "PRIORITY_5"),
    });
    m_ui->priorityInput->setCurrentIndex(SendSheetModel::DefaultPriorityIndex);

    // The target: item 0 all recipients, 1 a simulated run, 2 the test
    // tables' submenu.
    m_sourceMenu = new QMenu(this);
    m_sourceMenu->addAction(targetTitle(SendSheetModel::AllRecipients), this,
                            [this] { selectTarget(SendSheetModel::AllRecipients); });
    m_sourceMenu->addAction(targetTitle(SendSheetModel::SimulatedRun), this,
                            [this] { selectTarget(SendSheetModel::SimulatedRun); });
    m_testMenu = m_sourceMenu->addMenu(targetTitle(SendSheetModel::TestTable));
    m_ui->sourceDatabaseButton->setMenu(m_sourceMenu);

    connect(m_ui->accountInput, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_model.setSelectedAccount(index); });
    connect(m_ui->okButton, &QPushButton::clicked, this, &SendMailsWindow::okClicked);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &SendMailsWindow::cancelClicked);
    updateControls();
}

SendMailsWindow::~SendMailsWindow() = default;

QComboBox *SendMailsWindow::accountInput() const { return m_ui->accountInput; }
QComboBox *SendMailsWindow::priorityInput() const { return m_ui->priorityInput; }
QPushButton *SendMailsWindow::sourceDatabaseButton() const { return m_ui->sourceDatabaseButton; }
QLineEdit *SendMailsWindow::bccAddressField() const { return m_ui->bccAddressField; }

void SendMailsWindow::displayAsSheetForWindow(QWidget *window)
{
    if (window)
        setParent(window->window(), windowFlags());
    showAsSheet(this);
}

void SendMailsWindow::updateControls()
{
    m_model.updateControls();
    const QSignalBlocker blocker(m_ui->accountInput);
    m_ui->accountInput->clear();
    // Names are shown as text, whatever they hold.
    m_ui->accountInput->addItems(m_model.accountNames());
    m_ui->accountInput->setCurrentIndex(m_model.selectedAccount());
    updateTestDatabaseList();
}

void SendMailsWindow::updateTestDatabaseList()
{
    m_model.updateTestDatabaseList();
    m_testMenu->clear();
    const QList<TestTableSource::Entry> &tables = m_model.testTables();
    for (int i = 0; i < tables.size(); ++i) {
        QAction *item = m_testMenu->addAction(tables.at(i).name);
        // "&" in a table's name is no shortcut.
        item->setText(literalMenuText(tables.at(i).name));
        connect(item, &QAction::triggered, this, [this, i] { testlistChanged(i); });
    }
    m_testMenu->menuAction()->setEnabled(m_model.testTargetEnabled());
    showTarget();
}

void SendMailsWindow::testlistChanged(int index)
{
    m_model.testlistChanged(index);
    showTarget();
}

void SendMailsWindow::selectTarget(SendSheetModel::Target target)
{
    m_model.setTarget(target);
    showTarget();
}

void SendMailsWindow::showTarget()
{
    QString title = targetTitle(m_model.target());
    if (m_model.target() == SendSheetModel::TestTable)
        title += QStringLiteral(": ") + m_model.selectedTestTableName();
    m_ui->sourceDatabaseButton->setText(literalMenuText(title));
}

void SendMailsWindow::okClicked()
{
    if (m_ended)
        return;
    const QString bcc = m_ui->bccAddressField->text();
    const QString bad = SendSheetModel::badBccAddress(bcc);
    if (!bad.isNull()) {
        // One bad address would fail every message of the run.
        AlertPresenter::current().beginAlertSheet(
            Localizer::localizedString("SendMails", "BAD_BCC_ADDRESS_TITLE"),
            Localizer::localizedString("SendMails", "BAD_BCC_ADDRESS_TEXT").arg(bad), this);
        return;
    }
    m_ended = true;
    const QPointer<SendMailsUIHandler> handler = m_uiHandler;
    const SendSheetModel::Target target = m_model.target();
    const QString testTable = m_model.selectedTestTableUid();
    if (handler) {
        handler->setAccountNo(m_model.selectedAccount());
        handler->setAccountData(m_model.selectedAccountData());
        handler->setPriority(m_ui->priorityInput->currentIndex() + 1);
        handler->setBccAddressString(bcc);
    }
    // Ended first: the alerts of the run's checks attach to the window.
    accept();
    if (!handler)
        return;
    switch (target) {
    case SendSheetModel::AllRecipients:
        handler->send();
        break;
    case SendSheetModel::SimulatedRun:
        handler->sendViaDummy();
        break;
    case SendSheetModel::TestTable:
        handler->sendToTestlist(testTable);
        break;
    }
}

void SendMailsWindow::cancelClicked()
{
    m_ended = true;
    reject();
}
