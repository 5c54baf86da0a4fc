// The recipient tab's menu and the commands behind it.

#include "DatabaseTab.h"

#include "RecipientCommands.h"
#include "RecipientPasteboard.h"
#include "RecipientTableModel.h"

#include "AddressBookSheet.h"
#include "CSVImporter.h"
#include "FieldContentsFilter.h"
#include "FieldNamesEditor.h"
#include "FilePanels.h"
#include "FindPanel.h"
#include "SendDateFilter.h"
#include "StandardEditing.h"

#include "DocumentWindow.h"
#include "MyDocument.h"
#include "PreviewTab.h"

#include "AddressBookDatabase.h"
#include "BlacklistManager.h"
#include "Database.h"
#include "DatabaseManager.h"
#include "VCard.h"

#include "ActionGuard.h"
#include "FileIO.h"
#include "Localizer.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QTabWidget>
#include <QTableView>
#include <QUrl>

using Localizer::localizedString;

void DatabaseTab::createActions()
{
    m_menu = new QMenu(localizedString("Localized-Database", "Recipients"), this);
    m_menu->setObjectName(QStringLiteral("menuRecipients"));
    connect(m_menu, &QMenu::aboutToShow, this, &DatabaseTab::runStateChanged);
    // Every item acts on this tab, so its shortcut works only where the
    // focus is in the tab: Delete in the message body deletes text.
    const auto add = [this](QMenu *menu, const char *name, const QString &title, auto command,
                            const QKeySequence &shortcut = {}, const QVariant &data = {}) {
        auto *action = new QAction(title, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        action->setData(data);
        connect(action, &QAction::triggered, this,
                [this, action, command] { ActionGuard::run([&] { command(action); }, window()); });
        menu->addAction(action);
        addAction(action);
        return action;
    };
    const auto state = [](QAction *action) { return action->data().toInt() == 1; };
    QList<QAction *> &table = m_tableActions;

    table << add(m_menu, "actionAddRecipient", localizedString("Localized-Database", "Add Recipient"),
                 [this](QAction *) { addRecipient(); }, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    table << add(m_menu, "actionRemoveRecipient", localizedString("Localized-Database", "Remove Recipients"),
                 [this](QAction *) { removeRecipient(); }, QKeySequence::Delete);
    // Edit ▸ Delete with the table focused, as the Delete key.
    StandardEditing::markAsCommand(table.last(), StandardEditing::Command::Delete);
    table << add(m_menu, "actionDuplicateSelection", localizedString("Localized-Database", "Duplicate Recipients"),
                 [this](QAction *) { duplicateSelection(); }, QKeySequence(Qt::CTRL | Qt::Key_D));
    m_menu->addSeparator();
    table << add(m_menu, "actionSortBySelectedColumn", localizedString("Localized-Database", "Sort by Selected Column"),
                 [this](QAction *) { sortBySelectedColumn(); });
    table << add(m_menu, "actionSetAddressColumn",
                 localizedString("Localized-Database", "Use Selected Column for Addresses"),
                 [this](QAction *) { setAddressColumn(); });
    table << add(m_menu, "actionEditFieldNames", localizedString("Localized-Database", "Field Names..."),
                 [this](QAction *) { editFieldNames(); });
    table << add(m_menu, "actionRemoveField", localizedString("Localized-Database", "Remove Selected Field"),
                 [this](QAction *) { removeField(); });
    table << add(m_menu, "actionAddSerialNum",
                 localizedString("Localized-Database", "Number the Rows in Selected Column"),
                 [this](QAction *) { addSerialNum(); });
    m_menu->addSeparator();
    for (const bool on : {true, false}) {
        QMenu *menu = m_menu->addMenu(on ? localizedString("Localized-Database", "Switch On")
                                         : localizedString("Localized-Database", "Switch Off"));
        const QVariant data = on ? 1 : 0;
        const auto name = [on](const char *base) { return QByteArray(base) + (on ? "On" : "Off"); };
        table << add(menu, name("actionFilterAll").constData(), localizedString("Localized-Database", "All Recipients"),
                     [this, state](QAction *a) { filterAll(state(a)); }, {}, data);
        table << add(menu, name("actionFilterBySelection").constData(),
                     localizedString("Localized-Database", "Selected Recipients"),
                     [this, state](QAction *a) { filterBySelection(state(a)); }, {}, data);
        table << add(menu, name("actionFilterByBlacklist").constData(),
                     localizedString("Localized-Database", "Blacklisted Recipients"),
                     [this, state](QAction *a) { filterByBlacklist(state(a)); }, {}, data);
        table << add(menu, name("actionFilterByField").constData(),
                     localizedString("Localized-Database", "By Field..."),
                     [this, state](QAction *a) { filterByField(state(a)); }, {}, data);
        table << add(menu, name("actionFilterByDate").constData(),
                     localizedString("Localized-Database", "By Date Last Sent..."),
                     [this, state](QAction *a) { filterByDate(state(a)); }, {}, data);
    }
    table << add(m_menu, "actionCheckAddressSyntax", localizedString("Localized-Database", "Clean Up Addresses"),
                 [this](QAction *a) { verifyEMailAddresses(a->data().toInt()); }, {}, 1);
    table << add(m_menu, "actionDisableRepeatedAddresses",
                 localizedString("Localized-Database", "Switch Off Repeated Addresses"),
                 [this](QAction *a) { verifyEMailAddresses(a->data().toInt()); }, {}, 2);
    m_menu->addSeparator();
    table << add(m_menu, "actionPreviewSelectedEntry",
                 localizedString("Localized-Database", "Preview Selected Recipient"),
                 [this](QAction *) { previewForSelection(); });
    m_menu->addSeparator();
    QMenu *imports = m_menu->addMenu(localizedString("Localized-Database", "Import"));
    table << add(imports, "actionImportCorvantilineFile",
                 localizedString("Localized-Database", "Recipients of Project Files..."),
                 [this](QAction *) { importCorvantilineFile(); });
    table << add(imports, "actionImportVCard", localizedString("Localized-Database", "vCard Files..."),
                 [this](QAction *) { importVCard(); });
    table << add(imports, "actionImportAddressBook", localizedString("Localized-Database", "Contacts..."),
                 [this](QAction *) { importAddressBook(); });
    table << add(imports, "actionImportCSV", localizedString("Localized-Database", "Text File..."),
                 [this](QAction *) { importASCII(); });
    table << add(m_menu, "actionExportCSV", localizedString("Localized-Database", "Export as Text..."),
                 [this](QAction *) { exportASCII(); });

    // Edit menu items; they only read the table.
    QMenu edit;
    m_editActions << add(&edit, "actionCopyRecipients", localizedString("Localized-Database", "Copy Recipients"),
                         [this](QAction *) { copy(); }, QKeySequence::Copy);
    // Edit ▸ Copy with the table focused.
    StandardEditing::markAsCommand(m_editActions.last(), StandardEditing::Command::Copy);
    m_editActions << add(&edit, "actionFindRecipient", localizedString("Localized-Database", "Find Recipient..."),
                         [this](QAction *) { performFindPanelAction(1); }, QKeySequence::Find);
    m_editActions << add(&edit, "actionFindNextRecipient", localizedString("Localized-Database", "Find Next"),
                         [this](QAction *) { performFindPanelAction(FindPanel::FindNextTag); },
                         QKeySequence::FindNext);
    m_editActions << add(&edit, "actionFindPreviousRecipient", localizedString("Localized-Database", "Find Previous"),
                         [this](QAction *) { performFindPanelAction(FindPanel::FindPreviousTag); },
                         QKeySequence::FindPrevious);
}

void DatabaseTab::addRecipient()
{
    if (!m_commands)
        return;
    const QList<int> rows = selectedRows();
    m_commands->addRecipient(rows.isEmpty() ? -1 : rows.first());
}

void DatabaseTab::removeRecipient()
{
    if (m_commands)
        m_commands->removeRecipients(selectedRows());
}

void DatabaseTab::duplicateSelection()
{
    if (m_commands)
        m_commands->duplicateRecipients(selectedRows());
}

void DatabaseTab::setAddressColumn()
{
    if (m_commands)
        m_commands->setAddressColumn(selectedFieldColumn());
}

void DatabaseTab::removeField()
{
    const QList<int> columns = selectedColumns();
    if (!m_commands || columns.isEmpty())
        return;
    const int logical = columns.first();
    m_commands->removeField(m_model->identifier(logical), m_tableView->horizontalHeader()->visualIndex(logical));
}

void DatabaseTab::editFieldNames()
{
    if (!m_commands || isRunActive())
        return;
    auto *sheet = new FieldNamesEditor(m_commands, [this](int position) { return columnIdentifierAt(position); },
                                       window());
    sheet->displayAsSheet();
}

void DatabaseTab::addSerialNum()
{
    if (!m_commands)
        return;
    const QString id = selectedColumnIdentifier();
    if (id.isNull()) {
        showAlert(QStringLiteral("NO_COLUMN_SELECTED_SERNUM_TITLE"), QStringLiteral("NO_COLUMN_SELECTED_SERNUM_TEXT"),
                  {});
        return;
    }
    m_commands->addSerialNumbers(id);
}

void DatabaseTab::sortBySelectedColumn()
{
    if (m_commands)
        m_commands->sortByColumn(selectedColumnIdentifier());
}

void DatabaseTab::tableHeaderDoubleClicked(int logicalColumn)
{
    if (m_commands && logicalColumn >= 0 && logicalColumn < m_model->columnCount())
        m_commands->sortByColumn(m_model->identifier(logicalColumn));
}

void DatabaseTab::previewForSelection()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty() || !m_document || isRunActive())
        return;
    PreviewTab *preview = m_document->previewTab();
    DocumentWindow *window = m_document->documentWindow();
    if (!preview || !window)
        return;
    preview->selectMessage(rows.first());
    window->tabView()->setCurrentWidget(preview);
}

void DatabaseTab::filterByBlacklist(bool state)
{
    if (m_commands)
        m_commands->filterByBlacklist(*BlacklistManager::sharedManager().matcher(), state);
}

void DatabaseTab::filterByField(bool state)
{
    if (m_commands && !isRunActive())
        (new FieldContentsFilter(m_commands, state, window()))->displayAsSheet();
}

void DatabaseTab::filterByDate(bool state)
{
    if (m_commands && !isRunActive())
        (new SendDateFilter(m_commands, state, window()))->displayAsSheet();
}

void DatabaseTab::filterBySelection(bool state)
{
    if (m_commands)
        m_commands->filterRows(selectedRows(), state);
}

void DatabaseTab::filterAll(bool state)
{
    if (m_commands)
        m_commands->filterAll(state);
}

void DatabaseTab::verifyEMailAddresses(int tag)
{
    if (!m_commands)
        return;
    if (tag == 1)
        m_commands->checkAddressSyntax();
    else if (tag == 2)
        m_commands->disableRepeatedAddresses();
}

void DatabaseTab::importCorvantilineFile()
{
    if (!m_commands || isRunActive())
        return;
    const QStringList paths = FilePanels::current().openFiles(
        window(), localizedString("Localized-Database", "Import the recipients of project files"),
        {MyDocument::ProjectExtension}, true);
    if (!paths.isEmpty())
        m_commands->importProjectFiles(paths);
}

void DatabaseTab::importVCard()
{
    if (!m_commands || isRunActive())
        return;
    const QStringList paths
        = FilePanels::current().openFiles(window(), localizedString("Localized-Database", "Import vCard files"),
                                          {QStringLiteral("vcf"), QStringLiteral("vcard")}, true);
    if (!paths.isEmpty())
        m_commands->importVCardFiles(paths);
}

void DatabaseTab::importAddressBook()
{
    if (!m_commands || isRunActive())
        return;
    window()->activateWindow();
    const std::shared_ptr<AddressBookDatabase> contacts = AddressBookDatabase::sharedDatabase();
    // The user asked for the contacts now; the folder is read by then as a rule.
    contacts->waitUntilLoaded();
    (new AddressBookSheet(m_commands, contacts->snapshot(), window()))->displayAsSheet();
}

void DatabaseTab::importASCII()
{
    if (!m_commands || isRunActive())
        return;
    auto *importer = new CSVImporter(window());
    importer->setCommands(m_commands);
    importer->displayAsSheet();
}

void DatabaseTab::exportASCII()
{
    if (!m_commands || isRunActive())
        return;
    const QString path = FilePanels::current().saveFile(
        window(), localizedString("Localized-Database", "Export the recipients as text"), QStringLiteral("txt"));
    if (!path.isEmpty())
        m_commands->exportText(path);
}

QString DatabaseTab::copyText() const
{
    QList<int> columns = selectedColumns();
    QList<int> rows;
    if (!columns.isEmpty()) {
        rows.reserve(m_model->rowCount());
        for (int row = 0; row < m_model->rowCount(); ++row)
            rows.append(row);
    } else {
        rows = selectedRows();
        if (rows.isEmpty())
            return QStringLiteral("");
        // The row number, the last-sent text and the named fields as the view orders them.
        const int last = std::min(m_model->columnCount() - 1, dataFieldCount() + 2);
        for (int visual = 0; visual <= last; ++visual)
            columns.append(logicalColumnAt(visual));
    }
    // The checkbox holds no text.
    columns.removeIf([this](int column) { return m_model->identifier(column) == Database::ActiveKey; });
    QString copied;
    for (int row : std::as_const(rows)) {
        for (qsizetype c = 0; c < columns.size(); ++c) {
            if (c > 0)
                copied.append(u'\t');
            copied.append(m_model->data(m_model->index(row, columns.at(c)), Qt::DisplayRole).toString());
        }
        copied.append(u'\n');
    }
    return copied;
}

void DatabaseTab::copy()
{
    if (m_database)
        QGuiApplication::clipboard()->setText(copyText());
}

void DatabaseTab::performFindPanelAction(int tag)
{
    if (tag == 1) {
        FindPanel::setTarget(this);
        FindPanel::show();
        return;
    }
    const QString searched = FindPanel::lastSearchString();
    if (!m_database || searched.isEmpty() || (tag != FindPanel::FindNextTag && tag != FindPanel::FindPreviousTag))
        return;
    const QList<int> rows = selectedRows();
    const QModelIndex current = m_tableView->currentIndex();
    int selected = -1;
    if (!rows.isEmpty())
        selected = current.isValid() && rows.contains(current.row()) ? current.row() : rows.last();
    const int found = tag == FindPanel::FindNextTag
                          ? m_database->findNextOccurenceOf(searched, selected < 0 ? 0 : selected + 1)
                          : m_database->findPrevOccurenceOf(searched, selected < 0 ? 0 : selected - 1);
    if (found < 0)
        return;
    const int column = current.isValid() ? current.column() : 0;
    QItemSelectionModel *selection = m_tableView->selectionModel();
    selection->setCurrentIndex(m_model->index(found, column), QItemSelectionModel::NoUpdate);
    selection->select(QItemSelection(m_model->index(found, 0), m_model->index(found, m_model->columnCount() - 1)),
                      QItemSelectionModel::ClearAndSelect);
    m_tableView->scrollTo(m_model->index(found, column));
}

bool DatabaseTab::acceptDrop(const QMimeData *data, int row)
{
    if (!m_commands || !data || isRunActive())
        return false;
    for (const QString &type : RecipientPasteboard::VCardTypes) {
        if (data->hasFormat(type)) {
            m_commands->importVCardData(data->data(type), row);
            return true;
        }
    }
    if (data->hasFormat(RecipientPasteboard::UriListType)) {
        // vCard files dragged from a file manager come in one after another.
        bool any = false;
        for (const QUrl &url : data->urls()) {
            const QString path = url.toLocalFile();
            if (path.isEmpty() || QFileInfo(path).suffix().compare(RecipientPasteboard::VCardFileSuffix,
                                                                   Qt::CaseInsensitive) != 0)
                continue;
            const std::optional<QByteArray> bytes = FileIO::readFileLimited(path, VCard::MaxInputBytes);
            if (!bytes)
                continue;
            const int added = m_commands->importVCardData(*bytes, row);
            if (row >= 0)
                row += added;
            any = true;
        }
        if (any)
            return true;
    }
    if (data->hasFormat(DatabaseManager::DraggedTablesType)) {
        m_commands->importDraggedTables(data->data(DatabaseManager::DraggedTablesType));
        return true;
    }
    return false;
}
