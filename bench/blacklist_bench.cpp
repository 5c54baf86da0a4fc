// The blacklist pane with 100,000 entries: importing them from a text file,
// adding one entry, removing one and removing half of them, and saving.
// Every change that is stored rewrites the list in the preferences file.
//
// Usage: blacklist_bench [entries]   (100000)

#include "BlacklistManager.h"
#include "BlacklistSettings.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

template<typename Work>
void timed(const char *what, Work work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    std::printf("%-34s %8.3f s\n", what, clock.nsecsElapsed() / 1e9);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    const QString file = dir.filePath("blacklist.txt");
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        for (int i = 0; i < entries; ++i)
            out.write(QStringLiteral("user%1@%2.example.org\r\n").arg(i * 7919 % entries).arg(i % 97).toUtf8());
    }
    UserDefaults defaults(dir.filePath("prefs.ini"));
    BlacklistManager manager(defaults);
    BlacklistSettings pane(manager);
    std::printf("%d entries, %lld bytes of text\n", entries, static_cast<long long>(QFile(file).size()));
    QString error;
    timed("import the file (stored at once)", [&] {
        if (!pane.importFile(file, &error))
            std::printf("import failed: %s\n", qPrintable(error));
    });
    timed("add one entry (stored at once)", [&] { (void)pane.addAddress(); });
    timed("edit one entry", [&] { pane.setData(pane.index(0, BlacklistSettings::AddressColumn), "edited@example.org"); });
    timed("remove one entry", [&] { pane.removeAddresses({entries / 2}); });
    QList<int> half;
    for (int i = 0; i < pane.rowCount(); i += 2)
        half.append(i);
    {
        // As removing went before: one entry at a time, from the highest row down.
        UserDefaults scratch(dir.filePath("scratch.ini"));
        BlacklistManager copy(scratch);
        copy.addAddresses(manager.addressList());
        timed("remove every other, one at a time", [&] {
            for (auto row = half.crbegin(); row != half.crend(); ++row)
                copy.removeAddressAtIndex(*row);
        });
    }
    timed("remove every other entry", [&] { pane.removeAddresses(half); });
    timed("save (store and rebuild matching)", [&] { manager.saveList(); });
    timed("reopen the preferences", [&] {
        UserDefaults reread(dir.filePath("prefs.ini"));
        BlacklistManager again(reread);
        if (again.addressCount() != manager.addressCount())
            std::printf("reopened with %d entries, not %d\n", again.addressCount(), manager.addressCount());
    });
    return 0;
}
