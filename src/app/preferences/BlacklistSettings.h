#pragma once

// The blacklist pane of the preferences window: the shared blacklist as a
// table ("No" and the entry), edited in place, with adding, removing and
// importing one entry per line of a text file. Rows are read from the
// blacklist each time. Edits are saved when the window is confirmed; added
// entries at once (BlacklistManager::addAddresses).
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
    // Replaces the entry; the list is sorted again, so every row is reloaded.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // Adds an empty entry for the user to type into; returns its row.
    int addAddress();
    void removeAddresses(const QList<int> &rows);
    // Asks for a file and imports it; what cannot be read is shown in an alert.
    void addAddressesFromFile(QWidget *window);
    // Imports the file's lines; false with the reason when it cannot be read.
    bool importFile(const QString &path, QString *error);

    // The lines of an imported text: split at CR LF when that gives two
    // pieces or more, else at LF, else at CR; the empty piece after a final
    // line end is no line.
    [[nodiscard]] static QStringList linesOf(const QString &text);
    static const QStringList &importSuffixes();

private:
    void reloadAll();

    BlacklistManager &m_manager;
};
