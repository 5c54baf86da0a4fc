#pragma once

// The registry's older list of project files, as the table files window
// shows it: "[Test] name" for a file marked as a test table, and its path.
// Every command names its file by path and finds the file's place in the
// list at that moment: the list lives in the user defaults, where another
// copy of the program may change it, and a remembered index could then
// toggle or remove another file.
//
// Main thread only.

#include <QAbstractTableModel>
#include <QStringList>

#include "NotificationCenter.h"

class DatabaseManager;

class DatabaseFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static inline const QString ProjectSuffix = QStringLiteral("quorv2");
    enum Column { NameColumn, PathColumn, ColumnCount };

    explicit DatabaseFileListModel(DatabaseManager &registry, QObject *parent = nullptr);

    // Reads the list again (also whenever the registry says it changed).
    void reload();
    [[nodiscard]] QString pathAt(int row) const;
    [[nodiscard]] int rowOfPath(const QString &path) const;
    [[nodiscard]] bool isForTesting(const QString &path) const;

    // Files are listed by their canonical paths: a file reached through a
    // link or a path with "." or ".." is listed once.
    enum class AddResult { Added, AlreadyListed, NotAProjectFile };
    AddResult addFile(const QString &path);
    // Registers each project file not listed yet; answers how many.
    int dropFiles(const QStringList &paths);
    // Each path still listed is removed; answers how many were.
    int removeFiles(const QStringList &paths);
    bool toggleTesting(const QString &path);
    bool openEditor(const QString &path);
    bool openNewDocument(const QString &path);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;
    Qt::DropActions supportedDropActions() const override { return Qt::LinkAction | Qt::CopyAction; }

signals:
    // A drop registered nothing (every file listed already or of another kind).
    void dropRefused();

private:
    // The file's index in the registry's list now; -1 when it is not listed.
    [[nodiscard]] int registryIndexOf(const QString &path) const;
    // The path with links and "." and ".." resolved (only the latter for a
    // file that does not exist).
    [[nodiscard]] static QString canonicalPath(const QString &path);
    [[nodiscard]] bool isListed(const QString &canonical) const;

    struct Entry {
        QString path;
        QString name;
        bool forTesting;
    };
    DatabaseManager &m_registry;
    QList<Entry> m_entries;
    NotificationCenter::Observation m_updates;
};
