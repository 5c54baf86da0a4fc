// The recipient tab on a large table, each step as the user meets it:
// a delimited text file read by the import sheet and imported, the tab's
// first paint and a jump to the middle, a sort, a find without a match, a
// filter, the export, one undo step and its undo, a field removed and
// its removal undone (also where its column was named since, behind
// older steps), and a column copied.
//
// Usage: recipient_tab_bench [rows] [--peers]
//   rows     (default 1000000) recipients of ten fields, about 110 bytes a row
//   --peers  also sorts and filters through a QSortFilterProxyModel over the
//            same model, the way a Qt view would without our own commands
// Prints one line per step: seconds, then the target. Run on one core
// (taskset -c 0) with QT_QPA_PLATFORM=offscreen.

#include "BenchProcess.h"
#include "CSVImportSession.h"
#include "DatabaseTab.h"
#include "FieldContentsRule.h"
#include "RecipientCommands.h"
#include "RecipientTableModel.h"

#include "Database.h"
#include "Localizer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QUndoStack>

#include <array>
#include <cstdio>
#include <functional>

namespace {

using BenchProcess::peakRssKiB;

bool writeFile(const QString &path, long rows)
{
    static const std::array<const char *, 8> first = {"Anna", "Jörg", "Marie", "Lukas", "Zoë", "Paul", "Léa", "Tom"};
    static const std::array<const char *, 8> last = {"Müller", "Schmidt", "ONeil", "Dubois", "Novák", "Lee", "Rossi", "Øster"};
    static const std::array<const char *, 6> city = {"Berlin", "Köln", "Paris", "Brno", "London", "Milano"};
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray chunk = "Email;FirstName;LastName;Title;Company;Street;Zip;City;Country;Phone\n";
    for (long i = 0; i < rows; ++i) {
        char row[512];
        const int length = std::snprintf(
            row, sizeof row, "user%ld@example-mail.org;%s %ld;%s;Dr.;Company %ld;Hauptstraße %ld;%05ld;%s;DE;+49 30 %07ld\n",
            (i * 7919) % (rows * 2), first[i % first.size()], (i * 31) % 1000, last[(i / 8) % last.size()], i % 5000,
            i % 200 + 1, (i * 7) % 100000, city[(i / 5) % city.size()], (i * 7919) % 10000000);
        chunk.append(row, length);
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return file.flush();
}

void report(const char *step, double seconds, const char *target)
{
    std::printf("%-44s %8.3f s   %s\n", step, seconds, target);
    std::fflush(stdout);
}

double timed(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    // The undo steps are named from the English texts, as in the program.
    Localizer::install();
    long rows = 1000000;
    bool peers = false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--peers")
            peers = true;
        else
            rows = std::atol(argv[i]);
    }
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("recipients.csv"));
    if (!writeFile(csv, rows)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(csv));
        return 1;
    }
    std::printf("%ld rows, file %.1f MB\n", rows, double(QFileInfo(csv).size()) / 1e6);

    Database db;
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    CSVImportSession session(csv);
    report("import sheet: file read for the preview", timed([&] { session.reloadNow(); }), "<= 3 s at 1M");
    report("import sheet: rows imported (OK)", timed([&] { session.setFirstRowTitles(true); session.importInto(commands); }),
           "<= 5 s at 1M");

    DatabaseTab tab;
    tab.resize(1200, 800);
    tab.show();
    report("tab: first paint", timed([&] {
               tab.setDatabase(&db);
               tab.refreshData();
               (void)tab.tableView()->viewport()->grab();
           }),
           "<= 0.100 s at 1M");
    report("tab: jump to the middle and paint", timed([&] {
               tab.tableView()->verticalScrollBar()->setValue(tab.tableView()->verticalScrollBar()->maximum() / 2);
               (void)tab.tableView()->viewport()->grab();
           }),
           "<= 0.016 s at 1M");
    // Commands run as the tab runs them, its model following each change.
    RecipientTableModel *model = tab.model();
    QObject::connect(&commands, &RecipientCommands::entriesReplaced, model, &RecipientTableModel::entriesReplaced);
    tab.tableView()->selectionModel()->select(model->index(rows / 3, 3), QItemSelectionModel::Select);

    report("sort by a text column (FirstName)", timed([&] { commands.sortByColumn(QStringLiteral("1")); }),
           "<= 2 s at 1M");
    report("find without a match", timed([&] { (void)db.findNextOccurenceOf(QStringLiteral("no such recipient"), 0); }),
           "<= 1 s at 1M");
    const FieldContentsRule berlin(FieldContentsRule::Contains, QStringLiteral("7"), QStringLiteral("berlin"));
    report("filter: switch off City contains \"berlin\"", timed([&] {
               commands.filterMatching([&](const Database::Entry &e) { return berlin.matches(e); }, false);
           }),
           "<= 0.5 s at 1M");
    const FieldContentsRule before(FieldContentsRule::SortsBefore, QStringLiteral("6"), QStringLiteral("50000"));
    report("filter: switch off Zip comes before 50000", timed([&] {
               commands.filterMatching([&](const Database::Entry &e) { return before.matches(e); }, false);
           }),
           "<= 0.5 s at 1M");
    const QString exported = dir.filePath(QStringLiteral("export.txt"));
    report("export as text", timed([&] { commands.exportText(exported); }), "<= 3 s at 1M");
    std::printf("%-44s %8.1f MB\n", "  exported file", double(QFileInfo(exported).size()) / 1e6);
    report("add a recipient at the top (one undo step)", timed([&] { commands.addRecipient(0); }), "<= 0.050 s at 1M");
    report("undo it", timed([&] { stack.undo(); }), "<= 0.050 s at 1M");
    report("remove a field (Phone, one undo step)", timed([&] { commands.removeField(QStringLiteral("9"), 12); }),
           "<= 1 s at 1M");
    report("undo it", timed([&] { stack.undo(); }), "<= 1 s at 1M");
    // The removed field's slot named since: the undo puts the field in
    // another slot, past every row that older steps would bring back.
    for (const int older : {0, 10, 30}) {
        stack.clear();
        for (int i = 0; i < older; ++i)
            commands.addRecipient(0);
        const QString phone = db.fieldNameColumnIDMapping().value(QStringLiteral("Phone"));
        commands.removeField(phone, 12);
        commands.renameField(phone, QStringLiteral("Mobile %1").arg(older));
        char step[64];
        std::snprintf(step, sizeof step, "  the same, slot named since, %2d steps before", older);
        report(step, timed([&] { stack.undo(); }), "<= 1 s at 1M");
    }
    stack.clear();
    report("copy a column", timed([&] {
               tab.selectColumn(4);
               (void)tab.copyText();
           }),
           "<= 1 s at 1M");

    if (peers) {
        QSortFilterProxyModel proxy;
        proxy.setSourceModel(model);
        report("peer: QSortFilterProxyModel, sort", timed([&] { proxy.sort(4); }), "");
        report("peer: QSortFilterProxyModel, filter", timed([&] {
                   proxy.setFilterKeyColumn(10);
                   proxy.setFilterFixedString(QStringLiteral("berlin"));
               }),
               "");
    }
    std::printf("peak memory %.0f MB\n", double(peakRssKiB()) / 1024);
    return 0;
}
