#include "AddressBookDatabase.h"

#include "AddressBookColumn.h"
#include "AddressBookTable.h"
#include "AppPaths.h"
#include "Localizer.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <mutex>
#include <numeric>

namespace {

// Qt's event queue, which carries the hand-over, is hidden from a race
// detector: the worker holds this lock while it posts, and the posted work
// passes through it before it reads what the worker made.
std::mutex &postingOrder()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

std::shared_ptr<AddressBookDatabase> AddressBookDatabase::sharedDatabase()
{
    static const std::shared_ptr<AddressBookDatabase> shared = create(AppPaths::contactsPath());
    return shared;
}

std::shared_ptr<AddressBookDatabase> AddressBookDatabase::create(const QString &folder,
                                                                 const AddressBookSnapshot::Limits &limits)
{
    std::shared_ptr<AddressBookDatabase> database(new AddressBookDatabase);
    database->adopt(AddressBookSnapshot::empty());
    const std::weak_ptr<AddressBookDatabase> weak = database;
    database->m_receiver = std::make_unique<QObject>();
    QObject *receiver = database->m_receiver.get();
    database->m_loading = std::async(std::launch::async, [folder, limits, weak, receiver] {
        std::shared_ptr<const AddressBookSnapshot> snapshot = AddressBookSnapshot::read(folder, limits);
        // The hand-over is queued to the main thread; a source gone by then takes nothing.
        if (QCoreApplication::instance()) {
            const std::lock_guard posting(postingOrder());
            QMetaObject::invokeMethod(receiver, [weak] {
                { const std::lock_guard order(postingOrder()); }
                if (const std::shared_ptr<AddressBookDatabase> database = weak.lock()) {
                    // The worker posts this just before it returns the
                    // snapshot, which may not be handed to the future yet:
                    // waiting takes that moment, never the reading.
                    database->adoptIfReady(true);
                    NotificationCenter::defaultCenter().postNotification(NotificationNames::AddressBookLoaded,
                                                                         database.get());
                }
            }, Qt::QueuedConnection);
        }
        return snapshot;
    });
    return database;
}

// The future waits for a worker still reading before the receiver it
// posts to goes (members are destroyed in reverse order).
AddressBookDatabase::~AddressBookDatabase() = default;

bool AddressBookDatabase::adoptIfReady(bool wait) const
{
    if (!m_loading.valid())
        return false;
    if (!wait && m_loading.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return false;
    std::shared_ptr<const AddressBookSnapshot> snapshot;
    try {
        snapshot = m_loading.get();
    } catch (const std::exception &e) {
        qWarning("The contacts could not be read: %s", e.what());
    }
    adopt(snapshot ? std::move(snapshot) : AddressBookSnapshot::empty());
    return true;
}

void AddressBookDatabase::adopt(std::shared_ptr<const AddressBookSnapshot> snapshot) const
{
    m_snapshot = std::move(snapshot);
    m_columns.clear();
    for (const auto &[property, label] : m_snapshot->columns())
        m_columns.append(std::make_shared<AddressBookColumn>(property, label));

    const std::shared_ptr<const AddressBookDatabase> self = weak_from_this().lock();
    m_tables.clear();
    QList<int> everybody(m_snapshot->people().size());
    std::iota(everybody.begin(), everybody.end(), 0);
    m_tables.append(std::make_shared<AddressBookTable>(self, m_snapshot, AllContactsUid, AllContactsName,
                                                       std::move(everybody), m_columns));
    for (const AddressBookSnapshot::Group &group : m_snapshot->groups())
        m_tables.append(
            std::make_shared<AddressBookTable>(self, m_snapshot, group.uid, group.name, group.members, m_columns));
}

QList<TableRefPtr> AddressBookDatabase::tables() const
{
    adoptIfReady(false);
    return m_tables;
}

QString AddressBookDatabase::displayName() const
{
    return Localizer::localizedString("Project", "Address Book");
}

QList<ColumnRefPtr> AddressBookDatabase::columns() const
{
    adoptIfReady(false);
    return m_columns;
}

bool AddressBookDatabase::isLoaded() const
{
    adoptIfReady(false);
    return !m_loading.valid();
}

void AddressBookDatabase::waitUntilLoaded()
{
    adoptIfReady(true);
}

std::shared_ptr<const AddressBookSnapshot> AddressBookDatabase::snapshot() const
{
    adoptIfReady(false);
    return m_snapshot;
}
