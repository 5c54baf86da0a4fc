#include "ProjectFixture.h"

#include "AddressOutlineModel.h"
#include "AddressTableModel.h"
#include "AddressView.h"
#include "AddressViewController.h"
#include "KeyedArchiver.h"
#include "PlainArrayColumn.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QHeaderView>
#include <QMimeData>
#include <QTableView>
#include <QUndoStack>

namespace {

class StoredTablesView : public ProjectFixture {
protected:
    static QStringList uidsOf(const TableRef &table)
    {
        QStringList uids;
        for (int i = 0; i < table.numberOfRows(); ++i)
            uids.append(table.rowAtIndex(i)->uid());
        return uids;
    }
    static QStringList shownColumns(const AddressViewController &controller)
    {
        return columnNames(controller.tableModel()->shownColumns());
    }
    TableRefPtr allContacts() const { return contacts->tableWithUid(AddressBookDatabase::AllContactsUid); }
};

TEST_F(StoredTablesView, RowStepsUndoAsOneAndRedoKeepsTheirIdentifiers)
{
    Rows rows;
    for (int i = 0; i < 6; ++i)
        rows.append({QStringLiteral("r%1@example.org").arg(i), QStringLiteral("Row %1").arg(i)});
    const TableRefPtr table = storedTable("Six", {"E-Mail", "Name"}, rows);
    const QStringList uids = uidsOf(*table);
    AddressViewController controller(*registry, *defaults);
    controller.loadTable(table);
    QUndoStack &undo = *controller.undoManager();

    ASSERT_TRUE(controller.removeRows({5, 2}));
    EXPECT_EQ(contentsOf(*table), Rows({rows[0], rows[1], rows[3], rows[4]}));
    EXPECT_EQ(controller.tableModel()->rowCount(), 4);
    undo.undo();
    EXPECT_EQ(contentsOf(*table), rows) << "one Undo brings both back where they were";
    EXPECT_EQ(uidsOf(*table), uids);
    undo.redo();
    EXPECT_EQ(uidsOf(*table), (QStringList{uids[0], uids[1], uids[3], uids[4]}));
    undo.undo();

    const int added = controller.addRow();
    ASSERT_EQ(added, 6);
    ASSERT_TRUE(controller.setCell(added, 0, "new@example.org"));
    const QString newUid = table->rowAtIndex(added)->uid();
    ASSERT_TRUE(controller.setCell(1, 1, "Renamed"));
    undo.undo();
    EXPECT_EQ(table->rowAtIndex(1)->dataForColumn(*table->columns()[1]), "Row 1");
    undo.undo();
    undo.undo();
    EXPECT_EQ(table->numberOfRows(), 6);
    undo.redo();
    undo.redo();
    undo.redo();
    EXPECT_EQ(table->rowAtIndex(6)->uid(), newUid) << "the row comes back as itself";
    EXPECT_EQ(table->rowAtIndex(6)->dataForColumn(*table->columns()[0]), "new@example.org");
    EXPECT_EQ(table->rowAtIndex(1)->dataForColumn(*table->columns()[1]), "Renamed");

    // Written as each step went: a new launch reads the same.
    const Rows now = contentsOf(*table);
    reopen();
    EXPECT_EQ(contentsOf(*store->tableWithUid(table->uid())), now);
}

TEST_F(StoredTablesView, RemovedColumnsComeBackWithTheirValuesAndPlaces)
{
    const TableRefPtr table = storedTable("Wide", {"E-Mail", "Name", "City"}, {{"a@x.org", "Ann", "Oslo"}});
    AddressViewController controller(*registry, *defaults);
    controller.loadTable(table);
    ASSERT_TRUE(controller.removeColumns({0, 1}));
    EXPECT_EQ(shownColumns(controller), QStringList{"City"});
    controller.undoManager()->undo();
    EXPECT_EQ(shownColumns(controller), (QStringList{"E-Mail", "Name", "City"}));
    EXPECT_EQ(contentsOf(*table), Rows({{"a@x.org", "Ann", "Oslo"}}));
    controller.undoManager()->redo();
    reopen();
    EXPECT_EQ(columnNames(store->tableWithUid(table->uid())->columns()), QStringList{"City"});
}

TEST_F(StoredTablesView, ColumnOrderFollowsADragAcrossTablesAndLaunches)
{
    const TableRefPtr members = storedTable("Members", {"E-Mail", "Name", "City"}, {{"a@x.org", "Ann", "Oslo"}});
    const TableRefPtr other = storedTable("Other", {"Phone"}, {});
    {
        AddressView page(AddressView::Kind::Tables, *registry, *defaults);
        page.show();
        page.selectTable(allContacts());
        EXPECT_EQ(shownColumns(*page.controller()).mid(0, 3), (QStringList{"Email", "First name", "Last name"}))
            << "the contacts' address and names first on a first launch";
        page.selectTable(members);
        QHeaderView *header = page.findChild<QTableView *>("tableView")->horizontalHeader();
        header->moveSection(2, 0); // the user drags "City" to the front
        header->resizeSection(header->logicalIndex(0), 222);
        page.selectTable(other);
        page.selectTable(members);
        EXPECT_EQ(shownColumns(*page.controller()), (QStringList{"City", "E-Mail", "Name"}));
        EXPECT_EQ(header->sectionSize(0), 222);
        page.selectTable(other);
    }
    reopen();
    AddressView page(AddressView::Kind::Tables, *registry, *defaults);
    page.selectTable(store->tableWithUid(members->uid()));
    EXPECT_EQ(shownColumns(*page.controller()), (QStringList{"City", "E-Mail", "Name"}));

    // Ten thousand columns, a few of them placed: ordered in one stable sort.
    QList<ColumnRefPtr> wide;
    QVariantMap placed;
    for (int i = 0; i < 10000; ++i)
        wide.append(std::make_shared<PlainArrayColumn>(QString::number(i), QStringLiteral("pac-%1").arg(i)));
    defaults->setObject(QVariantMap{{"pac-9999", 0}, {"pac-5000", 1}, {"pac-7", 1}}, ProjectColumnLayout::PositionKey);
    const QList<ColumnRefPtr> ordered = ProjectColumnLayout(*defaults).orderedColumns(wide);
    ASSERT_EQ(ordered.size(), 10000);
    EXPECT_EQ(columnNames(ordered.mid(0, 5)), (QStringList{"9999", "7", "5000", "0", "1"}))
        << "equal positions keep their table order, unplaced columns follow";
}

TEST_F(StoredTablesView, ContactsAreShownButNeverEdited)
{
    AddressView page(AddressView::Kind::Tables, *registry, *defaults);
    page.selectTable(allContacts());
    AddressViewController &controller = *page.controller();
    ASSERT_EQ(controller.tableModel()->rowCount(), 2);
    const QModelIndex cell = controller.tableModel()->index(0, 0);
    EXPECT_FALSE(controller.tableModel()->flags(cell) & Qt::ItemIsEditable);
    EXPECT_FALSE(controller.tableModel()->setData(cell, "changed@example.org", Qt::EditRole));
    EXPECT_FALSE(controller.setCell(0, 0, "changed@example.org"));
    EXPECT_EQ(controller.addRow(), -1);
    EXPECT_FALSE(controller.removeRows({0}));
    EXPECT_FALSE(controller.removeColumns({0}));
    for (const char *button : {"addRowButton", "removeRowButton", "addColumnButton", "removeColumnButton",
                               "removeTableButton"})
        EXPECT_FALSE(page.findChild<QAbstractButton *>(button)->isEnabled()) << button;
    EXPECT_EQ(controller.tableModel()->data(cell, Qt::DisplayRole), "ann@example.org");

    // Only stored tables are renamed in the outline.
    const TableRefPtr stored = storedTable("Members", {"E-Mail"}, {});
    AddressOutlineModel &outline = *controller.outlineModel();
    outline.reload();
    const QModelIndex contactsItem = outline.indexOfTable(contacts->uid(), AddressBookDatabase::AllContactsUid);
    const QModelIndex storedItem = outline.indexOfTable(store->uid(), stored->uid());
    EXPECT_FALSE(outline.flags(contactsItem) & Qt::ItemIsEditable);
    EXPECT_FALSE(outline.setData(contactsItem, "Everyone", Qt::EditRole));
    ASSERT_TRUE(outline.setData(storedItem, "Club members", Qt::EditRole));
    EXPECT_EQ(stored->displayName(), "Club members");
}

TEST_F(StoredTablesView, RemovingATableAsksAndCancelKeepsItAndItsFile)
{
    const TableRefPtr table = storedTable("Members", {"E-Mail"}, {{"a@x.org"}, {"b@x.org"}});
    const QString file = storeFolder() + u'/' + table->uid();
    defaults->setObject(QVariantMap{{table->columns()[0]->uid(), 0}, {"abc-Email", 1}}, ProjectColumnLayout::PositionKey);
    AddressViewController controller(*registry, *defaults);
    controller.loadTable(table);

    questions.answers = {false};
    EXPECT_FALSE(controller.removeTable(table));
    ASSERT_EQ(questions.asked.size(), 1);
    EXPECT_TRUE(questions.asked[0].contains("Members") && questions.asked[0].contains(" 2 rows"))
        << questions.asked[0].toStdString();
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_EQ(store->tables().size(), 1);

    questions.answers = {true};
    EXPECT_TRUE(controller.removeTable(table));
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_TRUE(store->tables().isEmpty());
    EXPECT_EQ(defaults->dictionaryForKey(ProjectColumnLayout::PositionKey), (QVariantMap{{"abc-Email", 1}}))
        << "the removed table's columns are forgotten";
}

TEST_F(StoredTablesView, DraggedTablesNameTheirSourcesInOrderAndNothingElseResolves)
{
    const TableRefPtr members = storedTable("Members", {"E-Mail"}, {});
    AddressViewController controller(*registry, *defaults);
    AddressOutlineModel &outline = *controller.outlineModel();
    const QModelIndex contactsSource = outline.index(0, 0);
    const QModelIndex storedMembers = outline.indexOfTable(store->uid(), members->uid());
    const QModelIndex everyone = outline.indexOfTable(contacts->uid(), AddressBookDatabase::AllContactsUid);

    std::unique_ptr<QMimeData> drag(outline.mimeData({everyone, contactsSource, storedMembers}));
    ASSERT_NE(drag, nullptr);
    const QList<TableRefPtr> found = registry->tablesFromDraggedData(drag->data(DatabaseManager::DraggedTablesType));
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found[0]->uid(), AddressBookDatabase::AllContactsUid);
    EXPECT_EQ(found[1], members);
    EXPECT_EQ(outline.mimeData({contactsSource}), nullptr) << "sources alone are no drag";

    const QVariantList hostile{
        QVariantMap{{"database uid", contacts->uid()}, {"table uid", members->uid()}},
        QVariantMap{{"database uid", store->uid()}, {"table uid", "../" + members->uid()}},
        QVariantMap{{"database uid", store->uid() + "/.."}, {"table uid", members->uid()}},
        QVariantMap{{"database uid", store->uid()}, {"table uid", QVariantList{members->uid()}}},
        QVariantList{store->uid(), members->uid()}};
    EXPECT_TRUE(registry->tablesFromDraggedData(KeyedArchiver::archivedDataWithRootObject(hostile)).isEmpty());
}

} // namespace
