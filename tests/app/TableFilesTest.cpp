#include "ProjectFixture.h"

#include "AddressViewController.h"
#include "AppTestDocuments.h"
#include "DatabaseManagerWindow.h"
#include "DatabaseFileListModel.h"
#include "StoredTablesReporter.h"

#include <QAbstractButton>
#include <QMimeData>
#include <QUrl>

namespace {

class TableFiles : public ProjectFixture {
protected:
    QStringList shownNames(const DatabaseFileListModel &model) const
    {
        QStringList names;
        for (int row = 0; row < model.rowCount(); ++row)
            names.append(model.data(model.index(row, DatabaseFileListModel::NameColumn), Qt::DisplayRole).toString());
        return names;
    }
};

TEST_F(TableFiles, DropsTakeOnlyNewProjectFiles)
{
    DatabaseFileListModel model(*registry);
    const auto drop = [&](const QStringList &names) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &name : names)
            urls.append(QUrl::fromLocalFile(path(name)));
        data.setUrls(urls);
        int refused = 0;
        const auto connection = QObject::connect(&model, &DatabaseFileListModel::dropRefused, [&] { ++refused; });
        const bool accepted = model.dropMimeData(&data, Qt::LinkAction, -1, -1, {});
        QObject::disconnect(connection);
        return accepted ? 0 : refused;
    };
    EXPECT_EQ(drop({"b.quorv2", "notes.txt", "A.quorv2"}), 0);
    EXPECT_EQ(shownNames(model), (QStringList{"A", "b"})) << "sorted by name, letter case aside";
    EXPECT_EQ(drop({"notes.txt"}), 1) << "refused, with the alert";
    EXPECT_EQ(drop({"b.quorv2"}), 1);
    EXPECT_EQ(model.addFile(path("A.quorv2")), DatabaseFileListModel::AddResult::AlreadyListed);
}

TEST_F(TableFiles, AddTakesOnlyProjectFilesAndEachFileOnceHoweverItIsSpelled)
{
    for (const char *name : {"a.quorv2", "notes.txt", "sub/b.quorv2"}) {
        QDir().mkpath(QFileInfo(path(name)).absolutePath());
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link(path("a.quorv2"), path("link.quorv2")));
    ControllerFakes fakes;
    DatabaseManagerWindow window(*registry, *defaults);
    const auto add = [&](const QString &chosen) {
        const qsizetype before = alerts.shown.size();
        fakes.panels.openAnswers = {chosen};
        window.findChild<QAbstractButton *>("addButton")->click();
        return alerts.shown.size() == before;
    };
    EXPECT_FALSE(add(path("notes.txt"))) << "not a project file";
    EXPECT_TRUE(add(path("a.quorv2")));
    for (const QString &spelling : {path("link.quorv2"), path(".") + "/./a.quorv2", path("sub/../a.quorv2")})
        EXPECT_FALSE(add(spelling)) << spelling.toStdString();
    EXPECT_TRUE(add(path("sub/../sub/b.quorv2")));
    EXPECT_EQ(window.model()->dropFiles({path("sub/./b.quorv2"), path("link.quorv2")}), 0);
    EXPECT_EQ(shownNames(*window.model()).join(u'|'), "a|b");
    EXPECT_EQ(window.model()->pathAt(1).toStdString(), QFileInfo(path("sub/b.quorv2")).canonicalFilePath().toStdString());
}

TEST_F(TableFiles, CommandsNameTheirFileEvenWhenTheListChangedElsewhere)
{
    DatabaseFileListModel model(*registry);
    for (const char *name : {"b.quorv2", "c.quorv2"})
        model.addFile(path(name));
    const QString c = model.pathAt(1);
    // Another copy of the program adds a file that sorts first: "c" is now
    // third, and index 1 names "b".
    QVariantList list = registry->databaseEntryArray().value();
    list.prepend(QVariantMap{{"filePath", path("a.quorv2")}, {"fileName", "a"}, {"forTesting", 0}});
    defaults->setObject(list, DatabaseManager::FileListKey);

    EXPECT_TRUE(model.toggleTesting(c));
    EXPECT_EQ(shownNames(model), (QStringList{"a", "b", "[Test] c"}));
    EXPECT_EQ(model.removeFiles({c, path("gone.quorv2")}), 1);
    EXPECT_EQ(shownNames(model), (QStringList{"a", "b"}));
    EXPECT_FALSE(model.toggleTesting(c));
}

TEST_F(TableFiles, FailedStoreWritesAreToldAndQuittingAsksBeforeLosingThem)
{
    const TableRefPtr table = storedTable("Members", {"E-Mail"}, {{"a@x.org"}});
    QWidget window;
    StoredTablesReporter reporter(*registry, [&] { return &window; });
    EXPECT_TRUE(reporter.saveBeforeQuit()) << "nothing unsaved: nothing asked";

    bool diskFull = true;
    store->setFileWriter([&](const QString &file, const TableStoreFile::FileContent &data, QString *error) {
        if (diskFull) {
            *error = QStringLiteral("No space left on device");
            return false;
        }
        return TableStoreFile::writeAtomically(file, data, error);
    });
    AddressViewController controller(*registry, *defaults);
    controller.loadTable(table);
    ASSERT_TRUE(controller.setCell(0, 0, "b@x.org"));
    ASSERT_TRUE(controller.setCell(0, 0, "c@x.org"));
    QCoreApplication::processEvents();
    ASSERT_EQ(alerts.shown.size(), 1) << "one alert for what the event did";
    EXPECT_EQ(alerts.shown[0].window, &window);
    EXPECT_TRUE(alerts.shown[0].text.contains("No space left on device")) << alerts.shown[0].text.toStdString();

    questions.answers = {false};
    EXPECT_FALSE(reporter.saveBeforeQuit()) << "the user stays";
    ASSERT_EQ(questions.asked.size(), 1);
    diskFull = false;
    EXPECT_TRUE(reporter.saveBeforeQuit());
    EXPECT_EQ(questions.asked.size(), 1);
    reopen();
    EXPECT_EQ(contentsOf(*store->tableWithUid(table->uid())), Rows({{"c@x.org"}}));
}

TEST_F(TableFiles, StartupProblemsAreToldOnce)
{
    QWidget window;
    StoredTablesReporter quiet(*registry, [&] { return &window; });
    quiet.reportStartupProblems();
    EXPECT_TRUE(alerts.shown.isEmpty());

    // A second copy of the program finds the store taken.
    auto second = PlainArrayDatabase::openFolder(storeFolder());
    DatabaseManager secondRegistry(*defaults, second, contacts);
    StoredTablesReporter reporter(secondRegistry, [] { return nullptr; });
    reporter.reportStartupProblems();
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_TRUE(alerts.shown[0].text.contains("read-only")) << alerts.shown[0].text.toStdString();
}

} // namespace
