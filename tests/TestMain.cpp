// Shared main of every test program: a private HOME and XDG folders, so no
// test reads or writes the developer's own files, then a Qt application
// object on the main thread (notifications, translations and main-thread
// hand-offs need one); a QApplication for the programs that test windows.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStandardPaths>
#ifdef CORV_TEST_GUI
#include <QApplication>
#endif

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "Localizer.h"
#include "TestSupport.h"

namespace {

class FontOfNewMessagesLeftAsFound : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo &) override { m_before = storedFontOfNewMessages(); }
    void OnTestEnd(const ::testing::TestInfo &) override
    {
        EXPECT_EQ(storedFontOfNewMessages(), m_before) << "the test left the font of new messages changed";
    }
    QVariantList m_before;
};

} // namespace

static std::string makePrivateDir(const std::string &base, const char *name)
{
    std::string path = base + "/" + name;
    ::mkdir(path.c_str(), 0700);
    return path;
}

int main(int argc, char **argv)
{
    char templ[] = "/tmp/corv-test-XXXXXX";
    const char *root = ::mkdtemp(templ);
    if (!root)
        return 2;
    const std::string base(root);
    ::setenv("HOME", makePrivateDir(base, "home").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", makePrivateDir(base, "runtime").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", makePrivateDir(base, "cache").c_str(), 1);
    ::setenv("XDG_DATA_HOME", makePrivateDir(base, "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", makePrivateDir(base, "config").c_str(), 1);

#ifdef CORV_TEST_GUI
    // Windows are tested on Qt's offscreen platform unless told otherwise.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // For the preview's web engine, which cannot sandbox itself as root.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    Localizer::install();
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FontOfNewMessagesLeftAsFound);
    const int result = RUN_ALL_TESTS();
    std::string cleanup = "rm -rf '" + base + "'";
    if (std::system(cleanup.c_str()) != 0)
        return result ? result : 3;
    return result;
}
