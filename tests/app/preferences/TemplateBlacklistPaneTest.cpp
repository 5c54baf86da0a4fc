// The templates and blacklist panes: installing and removing templates
// (links never followed, sizes bounded), and the blacklist's editing and
// import (line ends, encodings, files that are no text files).
#include "PreferencesTestSupport.h"

#include "BlacklistSettings.h"
#include "TemplateSettings.h"

#include "Localizer.h"
#include "TemplateManager.h"

#include <QDirIterator>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

// A template folder named name below base.
QString templateFolder(const QString &base, const QString &name)
{
    const QString folder = base + u'/' + name;
    writeFile(folder + QStringLiteral("/index.html"), "<html><body>[[[message]]]</body></html>");
    return folder;
}

QStringList entries(const BlacklistManager &manager)
{
    return manager.addressList();
}

class PaneTest : public PreferencesTest {
protected:
    void SetUp() override
    {
        PreferencesTest::SetUp();
        QDir(TemplateManager::templateInstallPath()).removeRecursively();
        TemplateManager::loadTemplates();
    }
    void TearDown() override
    {
        QDir(TemplateManager::templateInstallPath()).removeRecursively();
        TemplateManager::loadTemplates();
        PreferencesTest::TearDown();
    }
};

} // namespace

TEST_F(PaneTest, OnlyUserTemplatesAreRemovedOneAtATime)
{
    TemplateSettings templates;
    const QStringList builtIn = TemplateManager::defaultManager().templateNames();
    ASSERT_FALSE(builtIn.isEmpty());
    templates.installFolder(templateFolder(dir.path(), "Alpha"));
    templates.installFolder(templateFolder(dir.path(), "Beta"));
    EXPECT_TRUE(alerts.shown.isEmpty()) << alertTitles().join(", ").toStdString();
    const QStringList names0 = TemplateManager::defaultManager().templateNames();
    QList<int> bundled;
    for (const QString &name : builtIn)
        bundled.append(int(names0.indexOf(name)));
    EXPECT_FALSE(templates.canRemove(bundled));
    const int alpha = int(names0.indexOf("Alpha"));
    const int beta = int(names0.indexOf("Beta"));
    ASSERT_GE(alpha, 0);
    ASSERT_LT(alpha, beta);
    EXPECT_EQ(templates.nameAt(alpha), "Alpha");
    EXPECT_FALSE(templates.data(templates.index(alpha, TemplateSettings::PreviewColumn), Qt::DecorationRole)
                     .value<QImage>().isNull());
    EXPECT_TRUE(templates.canRemove(bundled + QList<int>{beta}));

    templates.removeTemplate(bundled + QList<int>{beta, alpha});
    const QStringList names = TemplateManager::defaultManager().templateNames();
    EXPECT_FALSE(names.contains("Alpha"));
    EXPECT_TRUE(names.contains("Beta"));
    EXPECT_EQ(templates.rowCount(), names.size());
}

TEST_F(PaneTest, FoldersThatCannotBeInstalledAreReported)
{
    TemplateSettings templates;
    const QString noIndex = dir.filePath("NoIndex");
    writeFile(noIndex + "/page.html", "<html></html>");
    const QString noMarker = dir.filePath("NoMarker");
    writeFile(noMarker + "/index.html", "<html></html>");
    const QString twice = templateFolder(dir.path(), "Twice");
    // More files than a template may bring: nothing of it stays.
    const QString huge = templateFolder(dir.path(), "Huge");
    for (int i = 0; i < 2001; ++i)
        writeFile(QStringLiteral("%1/images/%2.png").arg(huge).arg(i), "x");
    const QString heavy = templateFolder(dir.path(), "Heavy");
    {
        QFile film(heavy + "/film.mp4");
        ASSERT_TRUE(film.open(QIODevice::WriteOnly));
        ASSERT_TRUE(film.resize(300LL * 1024 * 1024)); // sparse: nothing is written
    }
    const struct {
        QString folder;
        const char *key;
    } rows[] = {
        {noIndex, "TEMPLATE_NO_INDEX_FILE"}, {noMarker, "TEMPLATE_NO_MESSAGE_TAG"},
        {twice, nullptr}, {twice, "CANT_INSTALL_TEMPLATE"}, {huge, "CANT_INSTALL_TEMPLATE"},
        {heavy, "CANT_INSTALL_TEMPLATE"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.folder.toStdString());
        alerts.shown.clear();
        panels.folders.push_back(row.folder);
        templates.addTemplate(nullptr);
        if (!row.key) {
            EXPECT_TRUE(alerts.shown.isEmpty());
            continue;
        }
        ASSERT_EQ(alerts.shown.size(), 1);
        EXPECT_EQ(alerts.shown[0].kind, RecordingAlertPresenter::Panel);
        EXPECT_EQ(alerts.shown[0].title, Localizer::localizedString("Localized", QString::fromLatin1(row.key) + "_TITLE"));
        EXPECT_EQ(alerts.shown[0].text, Localizer::localizedString("Localized", QString::fromLatin1(row.key) + "_MESSAGE"));
        EXPECT_NE(alerts.shown[0].title, QString::fromLatin1(row.key) + "_TITLE") << "an English text exists";
    }
    EXPECT_FALSE(QFileInfo::exists(TemplateManager::templateInstallPath() + "/Huge"));
    EXPECT_FALSE(QFileInfo::exists(TemplateManager::templateInstallPath() + "/Heavy"));
    templates.addTemplate(nullptr); // cancelled: nothing happens
    EXPECT_EQ(alerts.shown.size(), 1);
}

TEST_F(PaneTest, InstallingFollowsNoLinks)
{
    const QString outside = dir.filePath("outside.txt");
    writeFile(outside, "private");
    const QString folder = templateFolder(dir.path(), "Linked");
    ASSERT_TRUE(QFile::link(outside, folder + "/stolen.txt"));
    ASSERT_TRUE(QFile::link(dir.path(), folder + "/up"));
    ASSERT_EQ(::symlink("loop", QFile::encodeName(folder + "/loop").constData()), 0);
    writeFile(folder + "/images/logo.png", "png");

    TemplateSettings templates;
    templates.installFolder(folder);
    EXPECT_TRUE(alerts.shown.isEmpty()) << alertTitles().join(", ").toStdString();
    QStringList copied;
    QDirIterator it(TemplateManager::templateInstallPath() + "/Linked", QDir::AllEntries | QDir::System | QDir::Hidden
                    | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        EXPECT_FALSE(entry.isSymLink()) << entry.filePath().toStdString();
        copied.append(entry.fileName());
    }
    copied.sort();
    EXPECT_EQ(copied, (QStringList{"images", "index.html", "logo.png"}));
}

TEST_F(PaneTest, BlacklistImportSplitsLinesAndDecodesText)
{
    const struct {
        const char *what;
        QByteArray bytes;
        QStringList added;
    } rows[] = {
        {"CR LF", "a@x.org\r\nb@x.org\r\n", {"a@x.org", "b@x.org"}},
        {"LF", "c@x.org\nd@x.org", {"c@x.org", "d@x.org"}},
        {"CR", "e@x.org\rf@x.org\r", {"e@x.org", "f@x.org"}},
        {"LF and CR LF mixed", "a@y.org\nb@y.org\r\n", {"a@y.org", "b@y.org"}},
        {"CR LF, LF and CR mixed", "c@y.org\r\nd@y.org\ne@y.org\rf@y.org", {"c@y.org", "d@y.org", "e@y.org", "f@y.org"}},
        {"one line without a line end", "g@x.org", {"g@x.org"}},
        {"an empty line stays", "h@x.org\n\ni@x.org\n", {"", "h@x.org", "i@x.org"}},
        {"UTF-16 with its mark", QByteArray("\xFF\xFE", 2) + QByteArray("j\0@\0\xE9\0\n\0k\0", 10), {"j@é", "k"}},
        {"UTF-8", "m\xC3\xBCller@x.org\n", {"müller@x.org"}},
        {"Latin-1", "n\xFCller@x.org\n", {"nüller@x.org"}},
        {"Windows-1252", "\x80@x.org", {"€@x.org"}},
        {"empty file", "", {}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        UserDefaults defaults(dir.filePath(QStringLiteral("%1.ini").arg(row.what)));
        BlacklistManager manager(defaults);
        BlacklistSettings blacklist(manager);
        const QString file = dir.filePath("import.txt");
        writeFile(file, row.bytes);
        panels.files.push_back(file);
        QSignalSpy reset(&blacklist, &QAbstractItemModel::modelReset);
        blacklist.addAddressesFromFile(nullptr);
        EXPECT_EQ(entries(manager), row.added);
        EXPECT_EQ(blacklist.rowCount(), row.added.size());
        EXPECT_EQ(reset.count(), 1);
        EXPECT_TRUE(alerts.shown.isEmpty());
    }
    EXPECT_EQ(panels.askedSuffixes, (QStringList{"csv", "txt", "tab", "TEXT", "tsv"}));
}

TEST_F(PaneTest, BlacklistImportRefusesWhatIsNoTextFile)
{
    const QString large = dir.filePath("large.txt");
    {
        QFile file(large);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(60LL * 1024 * 1024)); // sparse: nothing is written
    }
    const QString fifo = dir.filePath("fifo.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath("zero.txt");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    const QString loop = dir.filePath("loop.txt");
    ASSERT_EQ(::symlink("loop.txt", QFile::encodeName(loop).constData()), 0);
    UserDefaults defaults(dir.filePath("refused.ini"));
    BlacklistManager manager(defaults);
    manager.addAddresses({"kept@x.org"});
    BlacklistSettings blacklist(manager);
    for (const QString &path : {large, fifo, zero, loop, dir.filePath("missing.txt"), dir.path()}) {
        SCOPED_TRACE(path.toStdString());
        alerts.shown.clear();
        panels.files.push_back(path);
        blacklist.addAddressesFromFile(nullptr);
        ASSERT_EQ(alerts.shown.size(), 1);
        EXPECT_EQ(alerts.shown[0].title, Localizer::localizedString("Localized-Settings", "BLACKLIST_IMPORT_FAILED_TITLE"));
        EXPECT_TRUE(alerts.shown[0].text.contains(path));
        EXPECT_EQ(entries(manager), QStringList{"kept@x.org"});
    }
}

TEST_F(PaneTest, BlacklistEditsReachTheEntriesTheyMeant)
{
    UserDefaults defaults(dir.filePath("edits.ini"));
    BlacklistManager manager(defaults);
    manager.addAddresses({"b@x.org", "d@x.org", "f@x.org", "h@x.org", "k@x.org", "m@x.org"});
    BlacklistSettings blacklist(manager);
    EXPECT_EQ(blacklist.data(blacklist.index(2, BlacklistSettings::NumberColumn)).toString(), "3");
    EXPECT_TRUE(blacklist.flags(blacklist.index(0, BlacklistSettings::AddressColumn)) & Qt::ItemIsEditable);
    EXPECT_FALSE(blacklist.flags(blacklist.index(0, BlacklistSettings::NumberColumn)) & Qt::ItemIsEditable);

    // Rows 2 and 5 as the table counts them from 1.
    blacklist.removeAddresses({4, 1});
    EXPECT_EQ(entries(manager), (QStringList{"b@x.org", "f@x.org", "h@x.org", "m@x.org"}));

    // An edit leaves the entry in its row, though the list sorts it, and
    // the next edit reaches the entry in the row it names.
    QSignalSpy reset(&blacklist, &QAbstractItemModel::modelReset);
    ASSERT_TRUE(blacklist.setData(blacklist.index(0, BlacklistSettings::AddressColumn), "z@x.org"));
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(blacklist.data(blacklist.index(0, BlacklistSettings::AddressColumn)).toString(), "z@x.org");
    ASSERT_TRUE(blacklist.setData(blacklist.index(0, BlacklistSettings::AddressColumn), "a@x.org"));
    EXPECT_EQ(entries(manager), (QStringList{"a@x.org", "f@x.org", "h@x.org", "m@x.org"}));

    const int row = blacklist.addAddress();
    EXPECT_EQ(row, 4);
    EXPECT_EQ(blacklist.data(blacklist.index(row, BlacklistSettings::AddressColumn)).toString(), "");
    EXPECT_EQ(blacklist.rowCount(), 5);
}

TEST_F(PaneTest, RowsStayWhereTheyAreWhileEditedAndTypedEntriesBlockAtOnce)
{
    BlacklistManager &manager = BlacklistManager::sharedManager();
    QList<int> all;
    for (int i = 0; i < manager.addressCount(); ++i)
        all.append(i);
    manager.removeAddressesAtIndexes(all);
    manager.addAddresses({"b@x.org", "d@x.org"});
    auto *window = new SettingsWindow;
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    window->findChild<QTabWidget *>("tabs")->setCurrentIndex(3);
    auto *table = window->findChild<QTableView *>("blacklistTable");
    ASSERT_TRUE(table);
    const auto rowOf = [table](const QString &entry) {
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            if (table->model()->index(row, BlacklistSettings::AddressColumn).data().toString() == entry)
                return row;
        }
        return -1;
    };
    const auto cellCentre = [table](int row) {
        return table->visualRect(table->model()->index(row, BlacklistSettings::AddressColumn)).center();
    };

    // The new row is selected and edited where it is.
    window->findChild<QPushButton *>("addAddressButton")->click();
    const int added = table->currentIndex().row();
    EXPECT_EQ(table->currentIndex().data().toString(), "");
    ASSERT_EQ(table->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(table->selectionModel()->selectedRows()[0].row(), added);
    QWidget *editor = QApplication::focusWidget();
    ASSERT_TRUE(editor && table->viewport()->isAncestorOf(editor));
    QTest::keyClicks(editor, "z@x.org");

    // Going on to edit another entry finishes this one, and the next edit
    // reaches the entry that was clicked, not what moved into its place.
    const QPoint b = cellCentre(rowOf("b@x.org"));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, b);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, b);
    editor = QApplication::focusWidget();
    ASSERT_TRUE(editor && table->viewport()->isAncestorOf(editor));
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "a@x.org");
    QTest::keyClick(editor, Qt::Key_Return);
    const QStringList expected{"a@x.org", "d@x.org", "z@x.org"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return entries(manager) == expected; }, 5000)) << entries(manager).join(' ').toStdString();
    EXPECT_EQ(rowOf("z@x.org"), added);

    // What the list shows blocks runs started from now on, before the window closes.
    EXPECT_TRUE(manager.isAddressInList("a@x.org"));
    EXPECT_TRUE(manager.isAddressInList("z@x.org"));
    EXPECT_FALSE(manager.isAddressInList("b@x.org"));
    table->selectRow(rowOf("d@x.org"));
    window->findChild<QPushButton *>("removeAddressButton")->click();
    EXPECT_FALSE(manager.isAddressInList("d@x.org"));
    window->close();
}
