#pragma once

// The blacklist pane of the preferences window: the shared blacklist as a
// table ("No" and the entry), edited in place, with adding, removing and
// importing one entry per line of a text file. Every change is matched at
// once, so runs started from then on see it; it is saved when the window
// closes (added entries at once, BlacklistManager::addAddresses).
//
// The blacklist keeps its entries sorted, but the rows stay where they are
// while the pane is shown: an entry that moved as it was typed would leave
// the next click, and the next edit, on some other entry. New rows go last.
//
// Main thread only.

#include <QAbstractTableModel>
#include <QStringList>

class BlacklistManager;
class QWidget;

class BlacklistSettings : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NumberColumn, AddressColumn, ColumnCount };
    // An import larger than this is refused: a list of this size holds
    // about two million addresses.
    static constexpr qint64 MaxImportBytes = 50LL * 1024 * 1024;

    explicit BlacklistSettings(BlacklistManager &manager, QObject *parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Replaces the entry shown in the row; the row stays where it is.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // Adds an empty entry for the user to type into; returns its row.
    int addAddress();
    void removeAddresses(const QList<int> &rows);
    // Asks for a file and imports it; what cannot be read is shown in an alert.
    void addAddressesFromFile(QWidget *window);
    // Imports the file's lines; false with the reason when it cannot be read.
    bool importFile(const QString &path, QString *error);

    // The lines of an imported text: each CR LF, LF and CR ends one; the
    // empty piece after a final line end is no line.
    [[nodiscard]] static QStringList linesOf(const QString &text);
    static const QStringList &importSuffixes();

private:
    // Shows the blacklist's entries in its own order again.
    void reloadAll();
    // Where the blacklist keeps the entry shown in the row; -1 if it does not.
    [[nodiscard]] int managerIndex(int row) const;

    BlacklistManager &m_manager;
    // The entries in the order shown, sharing the blacklist's strings.
    QStringList m_rows;
};
