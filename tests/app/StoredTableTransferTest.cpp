#include "ProjectFixture.h"

#include "AddressTableModel.h"
#include "AddressView.h"
#include "AddressViewController.h"
#include "AppTestDocuments.h"
#include "CSVImporter.h"
#include "CSVReader.h"
#include "RecipientCommands.h" // CSVImporter.h holds it by QPointer
#include "FilePanels.h"
#include "MyDocument.h"
#include "ProjectSubviewManager.h"
#include "ProjectWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>

namespace {

// Answers the file panels as the user would.
class ScriptedFilePanels : public FilePanels {
public:
    ScriptedFilePanels() { FilePanels::setCurrent(this); }
    ~ScriptedFilePanels() override { FilePanels::setCurrent(nullptr); }
    QStringList openFiles(QWidget *, const QString &, const QStringList &, bool) override { return opened; }
    QString saveFile(QWidget *, const QString &, const QString &) override { return saved; }
    QStringList opened;
    QString saved;
};

class StoredTableTransfer : public ProjectFixture {
protected:
    static QVariantMap sheetResult(const Rows &rows, bool titles, const QString &file)
    {
        QVariantList given;
        for (const QStringList &row : rows)
            given.append(QVariant(row));
        return {{"rows", given}, {"firstRowAsColumnTitles", titles ? 1 : 0}, {"originalFilePath", file}};
    }
    QByteArray fileContents(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(StoredTableTransfer, DelimitedRowsBecomeATableNamedAfterTheFileAndWideRowsAddColumns)
{
    AddressViewController controller(*registry, *defaults);
    const Rows lines{{"Mail", "Name"}, {"a@x.org", "Ann"}, {"b@x.org", "Bob"}};
    const struct {
        bool titles;
        Rows given;
        QStringList columns;
        Rows stored;
    } cases[] = {
        {true, lines, {"Mail", "Name"}, lines.mid(1)},
        {false, lines, {"1", "2"}, lines},
        {true, {{"Mail", "Name"}, {"a@x.org"}, {"b@x.org", "Bob", "Oslo", "x"}, {"c@x.org", "Cy", "Turku"}},
         {"Mail", "Name", "3", "4"},
         {{"a@x.org", "", "", ""}, {"b@x.org", "Bob", "Oslo", "x"}, {"c@x.org", "Cy", "Turku", ""}}},
        {true, {}, {}, {}},
    };
    for (const auto &c : cases) {
        const TableRefPtr table = controller.importCSV_now(sheetResult(c.given, c.titles, "/home/u/people.csv"));
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->displayName(), "people.csv");
        EXPECT_EQ(columnNames(table->columns()), c.columns);
        EXPECT_EQ(contentsOf(*table), c.stored);
    }
    EXPECT_TRUE(alerts.shown.isEmpty()) << "nothing was left out";
    EXPECT_EQ(store->tables().size(), 4);

    // Past the widest table there is, the values are counted, not kept silently.
    QStringList wide;
    for (int i = 0; i < 10003; ++i)
        wide.append(QString::number(i));
    const TableRefPtr widest = controller.importCSV_now(sheetResult({{"only"}, wide}, true, "wide.txt"));
    ASSERT_NE(widest, nullptr);
    EXPECT_EQ(widest->columns().size(), 10000);
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_TRUE(alerts.shown[0].text.contains(" 3 values")) << alerts.shown[0].text.toStdString();
}

TEST_F(StoredTableTransfer, ProjectFileSavedHereImportsAsATableAndUnreadableFilesAreNamed)
{
    MyDocument project;
    Database &recipients = project.database();
    recipients.addField("E-Mail");
    recipients.addField("Name");
    recipients.changeFieldNameTo("City", "11");
    recipients.changeFieldNameTo("Zip", "2"); // slot order, not the order the names were given
    recipients.addEntryWithDict(-1, {{"0", "a@x.org"}, {"1", "Ann"}, {"11", "Oslo"}, {"active", false}});
    recipients.addEntryWithDict(-1, {{"0", "b@x.org"}, {"2", "0150"}});
    QString error;
    ASSERT_TRUE(project.writeToFile(path("Spring mailing.quorv2"), &error)) << error.toStdString();
    QFile broken(path("broken.quorv2"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("bplist00 not really");
    broken.close();

    AddressViewController controller(*registry, *defaults);
    const QList<TableRefPtr> made =
        controller.importCorvantilineFiles({path("Spring mailing.quorv2"), path("broken.quorv2")});
    ASSERT_EQ(made.size(), 1);
    EXPECT_EQ(made[0]->displayName(), "Spring mailing");
    EXPECT_EQ(columnNames(made[0]->columns()), (QStringList{"E-Mail", "Name", "Zip", "City"}));
    EXPECT_EQ(contentsOf(*made[0]), Rows({{"a@x.org", "Ann", "", "Oslo"}, {"b@x.org", "", "0150", ""}}));
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_TRUE(alerts.shown[0].text.contains("broken.quorv2")) << alerts.shown[0].text.toStdString();
    EXPECT_FALSE(alerts.shown[0].text.contains("Spring"));
}

TEST_F(StoredTableTransfer, ExportKeepsOneLinePerRowAndFailuresAreAlerts)
{
    const TableRefPtr table =
        storedTable("T", {"A", "B", "C"}, {{"a1", "b\t1", "c1"}, {"a2", "two\r\nlines", "c\n2"}, {"a3", "b3", "c3"}});
    AddressViewController controller(*registry, *defaults);
    controller.loadTable(table);
    ASSERT_TRUE(controller.exportCSV(path("out.txt")));
    const QByteArray written = fileContents("out.txt");
    EXPECT_EQ(written, "a1\tb 1\tc1\na2\ttwo  lines\tc 2\na3\tb3\tc3\n");
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_TRUE(alerts.shown[0].text.contains("In 3 values")) << alerts.shown[0].text.toStdString();
    // Read back as the import reads it: the same rows and columns.
    const Rows back = CSVReader::readFromString(QString::fromUtf8(written));
    EXPECT_EQ(back, Rows({{"a1", "b 1", "c1"}, {"a2", "two  lines", "c 2"}, {"a3", "b3", "c3"}}));

    // A folder that cannot exist: a plain file stands where it should be.
    EXPECT_FALSE(controller.exportCSV(path("out.txt/inside.txt")));
    ASSERT_EQ(alerts.shown.size(), 2);
    EXPECT_TRUE(alerts.shown[1].text.contains("inside.txt")) << alerts.shown[1].text.toStdString();
    EXPECT_EQ(fileContents("out.txt"), written);
}

// Values that look quoted, blanks at either end, other scripts and empty
// values: exported, then read with tabs as the import sheet reads them,
// every one comes back, and so does an empty row of a one-column table.
TEST_F(StoredTableTransfer, ExportedValuesComeBackWhole)
{
    const Rows wide = {{u"\uFEFFmarked"_qs, "\"Bob\" the builder", "\"\""},
                       {"  both ends  ", "Müller Ærø 日本", u"\U0001F600"_qs},
                       {"", "\"", "a\"b"},
                       {"", "", ""}};
    const Rows narrow = {{"\"x\""}, {""}, {"y"}};
    AddressViewController controller(*registry, *defaults);
    for (const Rows &rows : {wide, narrow}) {
        const TableRefPtr table = storedTable("T", QStringList(rows[0].size(), "C"), rows);
        controller.loadTable(table);
        ASSERT_TRUE(controller.exportCSV(path("out.txt")));
        const std::optional<Rows> read = CSVReader::readFile(path("out.txt"), TextFileDecoder::Encoding::Automatic, "\t");
        ASSERT_TRUE(read);
        const TableRefPtr back = controller.importCSV_now(sheetResult(*read, false, path("out.txt")));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(contentsOf(*back), rows) << fileContents("out.txt").toStdString();
    }
    EXPECT_TRUE(alerts.shown.isEmpty());
}

TEST_F(StoredTableTransfer, NewMailHoldsTheRowsOfEverySelectedTable)
{
    const TableRefPtr members = storedTable("Members", {"E-Mail", "Name"}, {{"a@x.org", "Ann"}});
    const TableRefPtr guests = storedTable("Guests", {"Name", "E-Mail"}, {{"Bob", "b@x.org"}, {"Cy", "c@x.org"}});
    ControllerFakes fakes;
    fakes.controller().setDocumentFactory([] { return new MyDocument; });
    AddressViewController controller(*registry, *defaults);
    auto *mail = qobject_cast<MyDocument *>(controller.createNewMail({members, guests}));
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(fakes.controller().documents(), QList<Document *>{mail});
    EXPECT_TRUE(mail->isDocumentEdited());
    ASSERT_NE(mail->window(), nullptr);
    EXPECT_TRUE(mail->window()->isVisible());
    const Database &recipients = mail->database();
    EXPECT_EQ(recipients.fieldNames(), (QStringList{"E-Mail", "Name"})) << "no default fields besides";
    ASSERT_EQ(recipients.entryCount(), 3);
    EXPECT_EQ(recipients.addressForEntry(2), "c@x.org");
}

TEST_F(StoredTableTransfer, UserImportsATextFileEditsItAndStartsAProjectFromIt)
{
    QFile text(path("people.csv"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("E-Mail,Name\r\nann@x.org,Ann\r\nbob@x.org,\"Baker, Bob\"\r\n");
    text.close();
    ControllerFakes fakes;
    fakes.controller().setDocumentFactory([] { return new MyDocument; });
    ScriptedFilePanels panels;
    ProjectWindow window(*registry, *defaults);
    window.show();
    AddressView *page = window.subviewManager()->activeViewController();

    panels.opened = {path("people.csv")};
    page->findChild<QAction *>("actionImportCSV")->trigger();
    CSVImporter *sheet = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *shown = qobject_cast<CSVImporter *>(widget); shown && shown->isVisible())
            sheet = shown;
    }
    ASSERT_NE(sheet, nullptr);
    sheet->findChild<QCheckBox *>("extractFieldNames")->setChecked(true);
    sheet->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();

    const TableRefPtr table = page->controller()->shownTable();
    ASSERT_NE(table, nullptr) << "the new table is shown";
    EXPECT_EQ(table->displayName(), "people.csv");
    EXPECT_EQ(contentsOf(*table), Rows({{"ann@x.org", "Ann"}, {"bob@x.org", "Baker, Bob"}}));
    AddressTableModel *rows = page->controller()->tableModel();
    ASSERT_TRUE(rows->setData(rows->index(0, 1), "Ann Archer", Qt::EditRole));
    EXPECT_EQ(page->selectedTables(), QList<TableRefPtr>{table});

    page->findChild<QAction *>("actionNewMail")->trigger();
    ASSERT_EQ(fakes.controller().documents().size(), 1);
    auto *mail = qobject_cast<MyDocument *>(fakes.controller().documents().first());
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(mail->database().entryValue(0, "1"), "Ann Archer");
    EXPECT_EQ(mail->database().addressForEntry(1), "bob@x.org") << "the project can send to the rows";

    panels.saved = path("people.txt");
    page->findChild<QAction *>("actionExportCSV")->trigger();
    EXPECT_EQ(fileContents("people.txt"), "ann@x.org\tAnn Archer\nbob@x.org\tBaker, Bob\n");

    QString error;
    ASSERT_TRUE(mail->writeToFile(path("Letter.quorv2"), &error)) << error.toStdString();
    panels.opened = {path("Letter.quorv2")};
    page->findChild<QAction *>("actionImportProjectFiles")->trigger();
    ASSERT_EQ(page->controller()->shownTable()->displayName(), "Letter");
    EXPECT_EQ(contentsOf(*page->controller()->shownTable()), contentsOf(*table));
    EXPECT_TRUE(alerts.shown.isEmpty());
}

} // namespace
