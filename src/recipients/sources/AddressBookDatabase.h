#pragma once

// The contacts as a read-only table source: all contacts ("tbl-all") and one
// table per group, over a snapshot of the contacts folder. The folder is
// read once, on a worker thread, so start-up never waits for a large
// folder; until the snapshot is handed over the source shows the
// all-contacts table empty. The hand-over happens on the main thread, which
// then posts NotificationNames::AddressBookLoaded with the source as sender.
// Contacts changed afterwards show at the next start.
//
// Main thread only, apart from the worker's reading of the folder.

#include "AddressBookSnapshot.h"
#include "DatabaseRef.h"

#include <QObject>

#include <future>
#include <memory>

class AddressBookDatabase : public DatabaseRef, public std::enable_shared_from_this<AddressBookDatabase> {
public:
    // Names from stored data and drags; never changed.
    static inline const QString Uid = QStringLiteral("db-AppleAddressBook");
    static inline const QString AllContactsUid = QStringLiteral("tbl-all");
    static inline const QString AllContactsName = QStringLiteral("All Contacts");
    static inline const QString DisplayIcon = QStringLiteral("ov_icon_addressbook");

    // The user's contacts folder, whose reading starts on first use.
    [[nodiscard]] static std::shared_ptr<AddressBookDatabase> sharedDatabase();
    // Starts reading the folder.
    [[nodiscard]] static std::shared_ptr<AddressBookDatabase>
    create(const QString &folder, const AddressBookSnapshot::Limits &limits = AddressBookSnapshot::Limits());
    ~AddressBookDatabase() override;
    Q_DISABLE_COPY_MOVE(AddressBookDatabase)

    [[nodiscard]] QList<TableRefPtr> tables() const override;
    [[nodiscard]] QString uid() const override { return Uid; }
    [[nodiscard]] QString displayIcon() const override { return DisplayIcon; }
    [[nodiscard]] QString displayName() const override;

    // Shared by every table.
    [[nodiscard]] QList<ColumnRefPtr> columns() const;
    [[nodiscard]] bool isLoaded() const;
    // Blocks until the folder is read, for a caller that needs the contacts
    // at once (an import the user asked for).
    void waitUntilLoaded();
    [[nodiscard]] std::shared_ptr<const AddressBookSnapshot> snapshot() const;

private:
    AddressBookDatabase() = default;
    // Takes the worker's snapshot when it is there; true when it took one.
    bool adoptIfReady(bool wait) const;
    void adopt(std::shared_ptr<const AddressBookSnapshot> snapshot) const;

    // Lives on the main thread; the worker's hand-over is queued to it.
    std::unique_ptr<QObject> m_receiver;
    // The accessors are const, but may be the first to find the snapshot done.
    mutable std::future<std::shared_ptr<const AddressBookSnapshot>> m_loading;
    mutable std::shared_ptr<const AddressBookSnapshot> m_snapshot;
    mutable QList<TableRefPtr> m_tables;
    mutable QList<ColumnRefPtr> m_columns;
};
