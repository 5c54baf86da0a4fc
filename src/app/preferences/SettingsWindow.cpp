#include "SettingsWindow.h"

#include "ui_Settings.h"

#include "AccountPane.h"
#include "BlacklistSettings.h"
#include "EvolutionAccountSource.h"
#include "SettingsPanels.h"
#include "SettingsView.h"
#include "SettingsViewController.h"
#include "TemplateSettings.h"
#include "ThunderbirdAccountSource.h"

#include "ActionGuard.h"
#include "ApplicationMenus.h"
#include "AlertPresenter.h"
#include "BlacklistManager.h"
#include "ErrorReporter.h"
#include "Localizer.h"
#include "QuestionPresenter.h"
#include "Settings.h"
#include "UserDefaults.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

QPointer<SettingsWindow> &openSlot()
{
    static QPointer<SettingsWindow> window;
    return window;
}

} // namespace

SettingsWindow::SettingsWindow(QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SettingsWindow>()), m_editor(*this),
      m_templates(new TemplateSettings(this)), m_blacklist(new BlacklistSettings(BlacklistManager::sharedManager(), this))
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    ApplicationMenus::furnishWindow(this);
    m_ui->accountTable->setModel(&m_editor.accountList());
    m_ui->templateTable->setModel(m_templates);
    m_ui->templateTable->verticalHeader()->setDefaultSectionSize(TemplateSettings::PreviewHeight + 8);
    m_ui->templateTable->verticalHeader()->hide();
    m_ui->templateTable->horizontalHeader()->setStretchLastSection(true);
    m_ui->templateTable->setColumnWidth(TemplateSettings::PreviewColumn, TemplateSettings::PreviewHeight * 3 / 2 + 16);
    m_ui->blacklistTable->setModel(m_blacklist);
    m_ui->blacklistTable->verticalHeader()->hide();
    m_ui->blacklistTable->horizontalHeader()->setStretchLastSection(true);

    auto *addMenu = new QMenu(m_ui->addAccountButton);
    const struct {
        const char *key;
        int tag;
    } items[] = {{"ADD_SMTP_ACCOUNT", AddSmtp}, {"ADD_LOCALSERVER_ACCOUNT", AddLocalServer},
                 {"ADD_APPLEMAIL_ACCOUNT", AddAppleMail}, {nullptr, 0},
                 {"IMPORT_THUNDERBIRD_ACCOUNT", ImportThunderbird}, {"IMPORT_EVOLUTION_ACCOUNT", ImportEvolution}};
    for (const auto &item : items) {
        if (!item.key) {
            addMenu->addSeparator();
            continue;
        }
        QAction *action = addMenu->addAction(Localizer::localizedString("Localized-Settings", item.key));
        action->setData(item.tag);
    }
    connect(addMenu, &QMenu::triggered, this, [this](QAction *action) { addAccount(action->data().toInt()); });
    m_ui->addAccountButton->setMenu(addMenu);

    connectControls();
    loadCorvantilineSettings();
    ActionGuard::run([this] { m_editor.load(); }, this);
    updateTemplateButtons();
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::connectControls()
{
    connect(m_ui->buttons, &QDialogButtonBox::accepted, this, &SettingsWindow::saveSettings);
    connect(m_ui->removeAccountButton, &QToolButton::clicked, this, &SettingsWindow::removeAccount);
    connect(m_ui->accountTypeMenu, &QComboBox::activated, this, &SettingsWindow::changeAccountType);
    connect(m_ui->accountNameField, &QLineEdit::textEdited, this,
            [this](const QString &name) { m_editor.accountNameEdited(name); });
    connect(m_ui->messageFontButton, &QPushButton::clicked, this, &SettingsWindow::setDefaultMessageFont);
    connect(m_ui->corvantilineIgnoreErrors, &QCheckBox::toggled, this, &SettingsWindow::ignoreErrorsStateChanged);
    connect(m_ui->accountTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &SettingsWindow::tableViewSelectionDidChange);

    connect(m_ui->templateTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &SettingsWindow::updateTemplateButtons);
    connect(m_templates, &QAbstractItemModel::modelReset, this, &SettingsWindow::updateTemplateButtons);
    connect(m_ui->addTemplateButton, &QPushButton::clicked, this,
            [this] { ActionGuard::run([this] { m_templates->addTemplate(this); }, this); });
    connect(m_ui->removeTemplateButton, &QPushButton::clicked, this, [this] {
        ActionGuard::run([this] { m_templates->removeTemplate(selectedRows(m_ui->templateTable)); }, this);
    });

    connect(m_ui->addAddressButton, &QPushButton::clicked, this, [this] {
        ActionGuard::run([this] {
            int row = -1;
            m_editor.write([&] { row = m_blacklist->addAddress(); });
            const QModelIndex index = m_blacklist->index(row, BlacklistSettings::AddressColumn);
            m_ui->blacklistTable->setCurrentIndex(index);
            m_ui->blacklistTable->edit(index);
        }, this);
    });
    connect(m_ui->removeAddressButton, &QPushButton::clicked, this, [this] {
        ActionGuard::run([this] { m_blacklist->removeAddresses(selectedRows(m_ui->blacklistTable)); }, this);
    });
    connect(m_ui->importAddressesButton, &QPushButton::clicked, this, [this] {
        ActionGuard::run([this] { m_editor.write([this] { m_blacklist->addAddressesFromFile(this); }); }, this);
    });
}

SettingsWindow *SettingsWindow::openWindow()
{
    SettingsWindow *window = openSlot().data();
    return window && !window->m_closed ? window : nullptr;
}

void SettingsWindow::showSettings()
{
    SettingsWindow *window = openWindow();
    if (!window) {
        window = new SettingsWindow;
        openSlot() = window;
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void SettingsWindow::registerWithSettings()
{
    Settings::setShowSettingsHandler({[] { return openWindow() != nullptr; },
                                      [](const void *) {
                                          showSettings();
                                          return true;
                                      }});
}

bool SettingsWindow::closeOpenWindow()
{
    SettingsWindow *window = openWindow();
    return !window || window->close();
}

QListView *SettingsWindow::accountTable() const
{
    return m_ui->accountTable;
}

// The general controls.

void SettingsWindow::loadCorvantilineSettings()
{
    const SettingsEditor::General general = SettingsEditor::loadGeneral();
    m_ui->corvantilineNewDoc->setChecked(general.newDocOnLaunch);
    m_ui->corvantilineDocAssistant->setChecked(general.displayDocAssistant);
    m_ui->corvantilineLogFile->setChecked(general.writeLogFile);
    m_ui->corvantilineRememberSize->setChecked(general.rememberWindowSize);
    m_ui->corvantilineIgnoreErrors->setChecked(general.ignoreErrors);
    m_ui->corvantilineIgnoreErrorsCount->setValue(general.errorCount);
    m_ui->corvantilineAskBeforeSending->setChecked(general.askBeforeSending);
    ignoreErrorsStateChanged();
    updateDefaultMessageFontField();
}

SettingsEditor::General SettingsWindow::generalControls() const
{
    SettingsEditor::General general;
    general.newDocOnLaunch = m_ui->corvantilineNewDoc->isChecked();
    general.displayDocAssistant = m_ui->corvantilineDocAssistant->isChecked();
    general.writeLogFile = m_ui->corvantilineLogFile->isChecked();
    general.rememberWindowSize = m_ui->corvantilineRememberSize->isChecked();
    general.ignoreErrors = m_ui->corvantilineIgnoreErrors->isChecked();
    general.errorCount = m_ui->corvantilineIgnoreErrorsCount->value();
    general.askBeforeSending = m_ui->corvantilineAskBeforeSending->isChecked();
    return general;
}

void SettingsWindow::ignoreErrorsStateChanged()
{
    m_ui->corvantilineIgnoreErrorsCount->setEnabled(m_ui->corvantilineIgnoreErrors->isChecked());
}

void SettingsWindow::updateDefaultMessageFontField()
{
    m_ui->messageFontField->setText(SettingsEditor::fontFieldText());
}

void SettingsWindow::setDefaultMessageFont()
{
    ActionGuard::run([this] {
        const std::optional<FontDescriptor> font =
            SettingsPanels::current().chooseFont(this, Settings::defaultMessageFont());
        if (!font)
            return;
        m_editor.changeFont(*font);
        updateDefaultMessageFontField();
    }, this);
}

// Accounts.

void SettingsWindow::tableViewSelectionDidChange()
{
    const QList<int> rows = selectedRows(m_ui->accountTable);
    ActionGuard::run([&] { m_editor.selectionChanged(rows.isEmpty() ? -1 : rows.first()); }, this);
}

void SettingsWindow::addAccount(int tag)
{
    ActionGuard::run([&] {
        if (tag == ImportThunderbird || tag == ImportEvolution) {
            auto *importer = new MailAccountImporter(this, MailAccountImporter::sourceForTag(tag));
            importer->setDelegate(this);
            importer->displayAsSheet();
            return;
        }
        m_editor.addAccount(tag);
    }, this);
}

void SettingsWindow::addAccountWithData(const QVariantMap &account)
{
    ActionGuard::run([&] { m_editor.addAccountWithData(account); }, this);
}

void SettingsWindow::removeAccount()
{
    const QList<int> rows = selectedRows(m_ui->accountTable);
    if (rows.isEmpty())
        return;
    // The view reports the selection it loses while the row goes; the
    // editor has already let go of the removed account by then.
    const QSignalBlocker block(m_ui->accountTable->selectionModel());
    ActionGuard::run([&] { m_editor.removeAccount(rows.first()); }, this);
}

void SettingsWindow::changeAccountType(int index)
{
    ActionGuard::run([&] { m_editor.changeAccountType(index); }, this);
}

AccountPane &SettingsWindow::showAccountPane(const QString &type)
{
    SettingsView *pane = SettingsViewController::loadAccountView(type, m_ui->accountArea);
    if (m_accountView) {
        m_ui->accountAreaLayout->removeWidget(m_accountView);
        // Later: the old pane may be the sender of the action that replaces it.
        // Out of the window at once, so that nothing finds its controls.
        m_accountView->hide();
        m_accountView->setParent(nullptr);
        m_accountView->deleteLater();
    }
    m_ui->accountAreaLayout->addWidget(pane);
    m_accountView = pane;
    return *pane;
}

QString SettingsWindow::accountNameText() const
{
    return m_ui->accountNameField->text();
}

void SettingsWindow::showAccountControls(bool accountShown, int typeIndex, const QString &name)
{
    m_ui->accountTypeMenu->setCurrentIndex(typeIndex);
    m_ui->accountNameField->setText(name);
    m_ui->accountTypeMenu->setEnabled(accountShown);
    m_ui->accountNameField->setEnabled(accountShown);
}

void SettingsWindow::selectAccountRow(int row)
{
    QItemSelectionModel *selection = m_ui->accountTable->selectionModel();
    const QSignalBlocker block(selection);
    if (row < 0) {
        selection->clear();
        return;
    }
    const QModelIndex index = m_editor.accountList().index(row);
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

QList<int> SettingsWindow::selectedRows(const QAbstractItemView *view) const
{
    QList<int> rows;
    for (const QModelIndex &index : view->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Templates.

void SettingsWindow::updateTemplateButtons()
{
    m_ui->removeTemplateButton->setEnabled(m_templates->canRemove(selectedRows(m_ui->templateTable)));
}

// Reports.

void SettingsWindow::reportWriteFailure(const QString &filePath)
{
    AlertPresenter::current().beginAlertSheet(
        Localizer::localizedString("Localized-Settings", "SETTINGS_NOT_WRITTEN_TITLE"),
        Localizer::localizedString("Localized-Settings", "SETTINGS_NOT_WRITTEN_MESSAGE").arg(filePath), this);
}

void SettingsWindow::reportException(const std::exception &exception)
{
    ErrorReporter::reportException(exception, this);
}

// Storing and closing.

bool SettingsWindow::storeAll()
{
    bool stored = false;
    ActionGuard::run([&] { stored = m_editor.confirm(generalControls()); }, this);
    return stored;
}

void SettingsWindow::saveSettings()
{
    close();
}

void SettingsWindow::reject()
{
    close();
}

void SettingsWindow::closeEvent(QCloseEvent *event)
{
    if (!m_closed && !storeAll()) {
        // A window that can never close would keep the program from
        // quitting too: the user may let the changes go.
        const bool discard = QuestionPresenter::current().confirm(
            this, Localizer::localizedString("Localized-Settings", "SETTINGS_NOT_WRITTEN_TITLE"),
            Localizer::localizedString("Localized-Settings", "SETTINGS_NOT_WRITTEN_DISCARD_MESSAGE")
                .arg(UserDefaults::standardUserDefaults().filePath()),
            Localizer::localizedString("Localized-Settings", "DISCARD_CHANGES"));
        if (!discard) {
            event->ignore();
            return;
        }
        ActionGuard::run([this] { m_editor.discardChanges(); }, this);
    }
    m_closed = true;
    // Not QDialog's: it would reject, and rejecting closes again.
    event->accept();
}
