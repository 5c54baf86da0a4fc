#include <gtest/gtest.h>

#include "../foundation_ui/RecordingAlertPresenter.h"
#include "HelpButton.h"
#include "MainTabDelegate.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

class CountingItem : public TabItem {
public:
    void willBeSelected() override { ++selections; }
    int selections = 0;
};

TEST(AppTabs, onlyPagesWithAnItemHearOfTheirSelection)
{
    QTabWidget tabs;
    auto *plain = new QWidget;
    auto *withItem = new QWidget;
    tabs.addTab(new QWidget, QStringLiteral("first"));
    tabs.addTab(plain, QStringLiteral("plain"));
    tabs.addTab(withItem, QStringLiteral("refreshing"));
    MainTabDelegate delegate(&tabs);
    CountingItem item;
    delegate.setItemForPage(withItem, &item);

    tabs.setCurrentWidget(plain);
    EXPECT_EQ(tabs.currentWidget(), plain) << "a page without an item is selected as usual";
    tabs.setCurrentWidget(withItem);
    EXPECT_EQ(item.selections, 1);
    tabs.setCurrentWidget(plain);
    delegate.setItemForPage(withItem, nullptr);
    tabs.setCurrentWidget(withItem);
    EXPECT_EQ(item.selections, 1) << "a removed item is not told";
}

// Takes the place of the desktop's file opener.
class UrlRecorder : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl &url) { opened.append(url); }

public:
    QList<QUrl> opened;
};

TEST(AppHelpButton, opensAnExistingHelpPageAndIgnoresEverythingElse)
{
    QTemporaryDir resources;
    ASSERT_TRUE(QDir(resources.path()).mkpath("help"));
    for (const char *name : {"help/sending.html", "secret.html"}) {
        QFile file(resources.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    qputenv("CORVANTILINE_RESOURCES", resources.path().toLocal8Bit());
    RecordingAlertPresenter alerts;
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    HelpButton button;
    for (const char *anchor : {"sending", "missing", "../secret", ""}) {
        button.setProperty("alternateTitle", QString::fromLatin1(anchor));
        QTest::mouseClick(&button, Qt::LeftButton);
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    qunsetenv("CORVANTILINE_RESOURCES");

    EXPECT_EQ(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(resources.filePath("help/sending.html"))});
    EXPECT_TRUE(alerts.shown.isEmpty()) << "missing help is not reported";
}

// Installs from the build folder above the test program's.
TEST(AppInstall, installsTheMenuEntryAndTheProjectFileType)
{
    const QString build = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/..");
    if (!QFile::exists(build + "/cmake_install.cmake"))
        GTEST_SKIP() << "no build folder";
    QTemporaryDir prefix;
    const auto run = [](const QString &program, const QStringList &arguments) {
        QProcess process;
        process.start(QStandardPaths::findExecutable(program), arguments);
        EXPECT_TRUE(process.waitForFinished(120000)) << qPrintable(program);
        EXPECT_EQ(process.exitCode(), 0) << qPrintable(program) << process.readAll().toStdString();
    };
    run("cmake", {"--install", build, "--prefix", prefix.path()});
    const QString desktop = prefix.filePath("share/applications/corvantiline.desktop");
    ASSERT_TRUE(QFile::exists(desktop));
    ASSERT_TRUE(QFile::exists(prefix.filePath("share/mime/packages/corvantiline-mime.xml")));
    if (!QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
        run("desktop-file-validate", {desktop});
    // The MIME database compiler reads the package and files the glob.
    run("update-mime-database", {prefix.filePath("share/mime")});
    QFile globs(prefix.filePath("share/mime/globs2"));
    ASSERT_TRUE(globs.open(QIODevice::ReadOnly));
    EXPECT_TRUE(globs.readAll().contains("application/x-corvantiline-project:*.quorv2"));
}

} // namespace

#include "AppWindowTest.moc"
