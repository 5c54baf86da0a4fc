// The project window's heavy paths, as the user meets them:
//
//   project_window_bench import CSV FOLDER
//       reads the delimited file as the import sheet does and makes it a
//       stored table in the store at FOLDER; prints the reading and the
//       table-making times and how many times the table's file was written
//   project_window_bench export FOLDER OUT
//       writes the store's first table as tab-separated text
//   project_window_bench columns [N]
//       orders N (10,000) columns of which every other one has a position
//   project_window_bench window-store FOLDER [TABLES] [ROWS]
//       makes a store of TABLES (100) tables with ROWS (100,000) rows in all
//   project_window_bench window FOLDER
//       opens that store and shows the project window (offscreen) until
//       its first picture is painted
//
// Each prints its figures as key=value pairs, the times in seconds.

#include "AddressTableModel.h"
#include "AddressView.h"
#include "AddressViewController.h"
#include "CSVReader.h"
#include "DatabaseManager.h"
#include "PlainArrayColumn.h"
#include "PlainArrayDatabase.h"
#include "ProjectColumnLayout.h"
#include "ProjectSubviewManager.h"
#include "ProjectWindow.h"
#include "StoredTableExport.h"
#include "StoredTableImport.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double peakMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

double seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

int importFile(const QString &csv, const QString &folder)
{
    QElapsedTimer timer;
    timer.start();
    QString error;
    const std::optional<QList<QStringList>> rows =
        CSVReader::readFile(csv, TextFileDecoder::Encoding::Automatic, {}, nullptr, &error);
    if (!rows) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    // What the sheet hands over.
    QVariantList given;
    given.reserve(rows->size());
    for (const QStringList &row : *rows)
        given.append(QVariant(row));
    const QVariantMap sheet{{"rows", given}, {"firstRowAsColumnTitles", 1}, {"originalFilePath", csv}};
    const double read = seconds(timer);

    auto store = PlainArrayDatabase::openFolder(folder);
    int tableWrites = 0;
    // When the table's file is handed to the writer, its rows are made; the
    // archive is made as the file is written.
    double madeRows = 0, written = 0;
    store->setFileWriter([&](const QString &path, const TableStoreFile::FileContent &data, QString *writeError) {
        if (path.endsWith(TableStoreFile::IndexFileName))
            return TableStoreFile::writeAtomically(path, data, writeError);
        ++tableWrites;
        madeRows = seconds(timer);
        const bool ok = TableStoreFile::writeAtomically(path, data, writeError);
        written = seconds(timer) - madeRows;
        return ok;
    });
    timer.start();
    const StoredTableImport::Result result = StoredTableImport::importRows(*store, sheet);
    const double made = seconds(timer);
    if (!result.table || store->hasUnsavedChanges()) {
        std::fprintf(stderr, "import failed: %s %s\n", qPrintable(result.error), qPrintable(store->lastWriteError()));
        return 1;
    }
    std::printf("rows=%d read_s=%.3f import_s=%.3f (rows %.3f, archive and file %.3f) total_s=%.3f table_writes=%d "
                "peak_mb=%.0f\n",
                result.table->numberOfRows(), read, made, madeRows, written, read + made, tableWrites,
                peakMegabytes());
    return 0;
}

int exportTable(const QString &folder, const QString &out)
{
    auto store = PlainArrayDatabase::openFolder(folder);
    if (store->tables().isEmpty())
        return 1;
    const TableRefPtr table = store->tables().first();
    QElapsedTimer timer;
    timer.start();
    const int rows = table->numberOfRows(); // loaded before the export starts
    const double loaded = seconds(timer);
    timer.start();
    const StoredTableExport::Result result = StoredTableExport::exportCSV(*table, out);
    const double exported = seconds(timer);
    if (!result.written) {
        std::fprintf(stderr, "%s\n", qPrintable(result.error));
        return 1;
    }
    std::printf("rows=%d load_s=%.3f export_s=%.3f bytes=%lld peak_mb=%.0f\n", rows, loaded, exported,
                qlonglong(QFile(out).size()), peakMegabytes());
    return 0;
}

int orderColumns(int count)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("prefs.ini")));
    QList<ColumnRefPtr> columns;
    QVariantMap positions;
    QRandomGenerator random(7);
    for (int i = 0; i < count; ++i) {
        const QString uid = QStringLiteral("pac-%1").arg(i, 9, 10, QLatin1Char('0')) + QString(32, u'x');
        columns.append(std::make_shared<PlainArrayColumn>(QString::number(i), uid));
        if (i % 2 == 0)
            positions.insert(uid, int(random.bounded(count)));
    }
    defaults.setObject(positions, ProjectColumnLayout::PositionKey);
    const ProjectColumnLayout layout(defaults);
    QElapsedTimer timer;
    timer.start();
    const QList<ColumnRefPtr> ordered = layout.orderedColumns(columns);
    const double took = seconds(timer);

    // A stored table that wide, with a hundred rows, shown in the view.
    auto store = PlainArrayDatabase::openFolder(dir.filePath(QStringLiteral("store")));
    const TableRefPtr wide = store->newTable();
    {
        TableChangeBatch batch(wide);
        QList<ColumnRefPtr> made;
        for (int i = 0; i < count; ++i)
            made.append(wide->newColumn(QStringLiteral("Column %1").arg(i)));
        for (int r = 0; r < 100; ++r) {
            const RowRefPtr row = wide->newRow();
            for (int i = 0; i < count; i += 10)
                row->setData(QStringLiteral("%1/%2").arg(r).arg(i), *made[i]);
        }
    }
    DatabaseManager registry(defaults, store, nullptr);
    AddressView view(AddressView::Kind::Tables, registry, defaults);
    view.resize(1000, 600);
    view.show();
    timer.start();
    view.selectTable(wide);
    const QImage painted = view.grab().toImage();
    const double shown = seconds(timer);
    std::printf("columns=%lld order_s=%.4f view_s=%.3f shown=%d painted=%d\n", qlonglong(ordered.size()), took, shown,
                view.controller()->tableModel()->columnCount(), int(!painted.isNull()));
    return 0;
}

int makeWindowStore(const QString &folder, int tables, int rows)
{
    auto store = PlainArrayDatabase::openFolder(folder);
    for (int t = 0; t < tables; ++t) {
        const TableRefPtr table = store->newTable();
        TableChangeBatch batch(table);
        table->setDisplayName(QStringLiteral("Table %1").arg(t));
        QList<ColumnRefPtr> columns;
        for (const char *name : {"E-Mail", "First", "Last", "Company", "Phone"})
            columns.append(table->newColumn(QString::fromLatin1(name)));
        for (int r = 0; r < rows / tables; ++r) {
            const RowRefPtr row = table->newRow();
            row->setData(QStringLiteral("user%1.%2@example.org").arg(t).arg(r), *columns[0]);
            row->setData(QStringLiteral("First%1").arg(r % 500), *columns[1]);
            row->setData(QStringLiteral("Last%1").arg(r), *columns[2]);
            row->setData(QStringLiteral("Company %1").arg(r % 97), *columns[3]);
            row->setData(QStringLiteral("+49 30 %1").arg(1000000 + r), *columns[4]);
        }
    }
    std::printf("tables=%d rows=%d\n", tables, rows);
    return store->hasUnsavedChanges() ? 1 : 0;
}

int openWindow(const QString &folder)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("prefs.ini")));
    QElapsedTimer timer;
    timer.start();
    auto store = PlainArrayDatabase::openFolder(folder);
    DatabaseManager registry(defaults, store, nullptr);
    ProjectWindow window(registry, defaults);
    window.show();
    // The first table selected, as a user's first click would.
    AddressView *page = window.subviewManager()->activeViewController();
    page->selectTable(store->tables().first());
    const QImage painted = window.grab().toImage();
    const double shown = seconds(timer);
    std::printf("tables=%lld open_s=%.3f painted=%d peak_mb=%.0f\n", qlonglong(store->tables().size()), shown,
                int(!painted.isNull()), peakMegabytes());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    if (command == u"import" && args.size() == 3)
        return importFile(args[1], args[2]);
    if (command == u"export" && args.size() == 3)
        return exportTable(args[1], args[2]);
    if (command == u"columns")
        return orderColumns(args.size() > 1 ? args[1].toInt() : 10000);
    if (command == u"window-store" && args.size() >= 2)
        return makeWindowStore(args[1], args.size() > 2 ? args[2].toInt() : 100, args.size() > 3 ? args[3].toInt() : 100000);
    if (command == u"window" && args.size() == 2)
        return openWindow(args[1]);
    std::fprintf(stderr, "usage: project_window_bench import CSV FOLDER | export FOLDER OUT | columns [N] | "
                         "window-store FOLDER [TABLES] [ROWS] | window FOLDER\n");
    return 2;
}
