#pragma once

// Everything the contacts source shows, read once from a folder of vCard
// files (every ".vcf" below it, one or many cards each): the people, the
// groups and the columns. It is built on a worker thread and never changes
// afterwards, so the main thread may read it without a lock once handed over.
//
// The walk is bounded and follows no directory links, so a link loop or a
// link to "/" cannot make it run away; hidden folders and files (a sync
// tool's half-written temporary files) are passed over. Groups are KIND:group
// cards with their MEMBER lists and the CATEGORIES values of the people.

#include "Person.h"

#include <QList>
#include <QString>

#include <memory>
#include <utility>

class AddressBookSnapshot {
public:
    struct Limits {
        int maxFiles = 100'000;
        qint64 maxFileBytes = qint64(256) << 20;
        qint64 maxTotalBytes = qint64(1) << 30;
        int maxDepth = 32;
        int maxPeople = 1'000'000;
        int maxGroups = 10'000;
        qint64 maxMemberships = 10'000'000;
        // Labels are looked for in this many people, in the order read.
        int labelPeople = 100;
        int maxLabelledColumns = 1'000;
    };

    struct Group {
        QString uid;
        QString name;
        // Indexes into people(), in the group's order.
        QList<int> members;
    };

    // (property, label): a plain column has no label.
    using Column = std::pair<Person::Property, QString>;

    // What the walk left out, for the user to hear of.
    struct Omissions {
        int unreadableFiles = 0;
        // Files and people past a limit, and files larger than allowed.
        int filesOverLimit = 0;
        int peopleOverLimit = 0;
        int skippedCards = 0;
        int droppedValues = 0;
    };

    // Reads the folder; a missing or empty folder gives an empty snapshot.
    [[nodiscard]] static std::shared_ptr<const AddressBookSnapshot> read(const QString &folder,
                                                                         const Limits &limits);
    [[nodiscard]] static std::shared_ptr<const AddressBookSnapshot> read(const QString &folder)
    {
        return read(folder, Limits());
    }
    // No people, no groups, the plain columns: what is shown while reading.
    [[nodiscard]] static std::shared_ptr<const AddressBookSnapshot> empty();

    // Files sorted by path, cards in file order.
    [[nodiscard]] const QList<Person> &people() const { return m_people; }
    // The person's card UID, or for a card without one an identifier made
    // from its file's path below the folder and its place in the file, so
    // it stays the same from one start to the next.
    [[nodiscard]] const QString &personUid(int index) const { return m_personUids.at(index); }
    // Group cards in the order read, then categories in order of first use.
    [[nodiscard]] const QList<Group> &groups() const { return m_groups; }
    [[nodiscard]] const QList<Column> &columns() const { return m_columns; }
    [[nodiscard]] const Omissions &omissions() const { return m_omissions; }

private:
    class Builder;

    void addColumns(const Limits &limits);

    QList<Person> m_people;
    QStringList m_personUids;
    QList<Group> m_groups;
    QList<Column> m_columns;
    Omissions m_omissions;
};
