#include "AddressBookSnapshot.h"

#include "FileIO.h"
#include "VCard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace {

// MEMBER values name people as "urn:uuid:" + UID (RFC 6350 6.6.5); UIDs
// themselves are written with or without the prefix.
QString memberKey(const QString &uid)
{
    static const QLatin1String Prefix("urn:uuid:");
    return uid.startsWith(Prefix, Qt::CaseInsensitive) ? uid.sliced(Prefix.size()) : uid;
}

QString fileBasedUid(const QString &relativePath, char kind, int position)
{
    const QByteArray key = relativePath.toUtf8() + '#' + kind + QByteArray::number(position);
    return QStringLiteral("file-") + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex());
}

} // namespace

class AddressBookSnapshot::Builder {
public:
    Builder(const QString &folder, const Limits &limits)
        : m_folder(QDir(folder).absolutePath()), m_limits(limits), m_snapshot(std::make_shared<AddressBookSnapshot>())
    {
    }

    std::shared_ptr<AddressBookSnapshot> build()
    {
        QStringList files = findFiles();
        std::sort(files.begin(), files.end());
        for (const QString &path : std::as_const(files))
            readFile(path);
        makeGroups();
        m_snapshot->addColumns(m_limits);
        return std::move(m_snapshot);
    }

private:
    struct GroupCard {
        QString uid;
        QString name;
        QStringList members;
    };

    QStringList findFiles();
    void readFile(const QString &path);
    void makeGroups();
    bool addMember(Group &group, int person, QSet<int> &seen);

    QString m_folder;
    Limits m_limits;
    std::shared_ptr<AddressBookSnapshot> m_snapshot;
    qint64 m_totalBytes = 0;
    qint64 m_memberships = 0;
    QList<GroupCard> m_groupCards;
};

QStringList AddressBookSnapshot::Builder::findFiles()
{
    QStringList files;
    int directories = 0;
    // Hidden entries are not listed, nor FIFOs, sockets and devices (no
    // QDir::Hidden, no QDir::System): reading a FIFO would never end.
    const QDir::Filters filter = QDir::AllEntries | QDir::NoDotAndDotDot;
    QList<std::pair<QString, int>> pending{{m_folder, 0}};
    while (!pending.isEmpty()) {
        const auto [path, depth] = pending.takeLast();
        if (++directories > m_limits.maxFiles) {
            ++m_snapshot->m_omissions.filesOverLimit;
            break;
        }
        const QFileInfoList entries = QDir(path).entryInfoList(filter, QDir::Name);
        for (const QFileInfo &entry : entries) {
            if (entry.isDir()) {
                // A link to a folder may lead back up or anywhere else.
                if (!entry.isSymLink() && depth < m_limits.maxDepth)
                    pending.append({entry.filePath(), depth + 1});
            } else if (entry.isFile() && entry.suffix().compare(u"vcf", Qt::CaseInsensitive) == 0) {
                if (files.size() < m_limits.maxFiles)
                    files.append(entry.filePath());
                else
                    ++m_snapshot->m_omissions.filesOverLimit;
            }
        }
    }
    return files;
}

void AddressBookSnapshot::Builder::readFile(const QString &path)
{
    Omissions &omissions = m_snapshot->m_omissions;
    const qint64 size = QFileInfo(path).size();
    if (size > m_limits.maxFileBytes || size > VCard::MaxInputBytes || m_totalBytes + size > m_limits.maxTotalBytes) {
        ++omissions.filesOverLimit;
        return;
    }
    // The size may have changed since it was looked at, so the read is
    // bounded again, near the size: the reader allocates its whole limit.
    const qint64 limit = std::min({m_limits.maxFileBytes, qint64(VCard::MaxInputBytes), size + 65536});
    const std::optional<QByteArray> data = FileIO::readFileLimited(path, limit);
    if (!data) {
        ++omissions.unreadableFiles;
        return;
    }
    m_totalBytes += data->size();

    const VCardReadResult result = VCard::personsFromVCard(*data);
    omissions.skippedCards += result.skippedCards;
    omissions.droppedValues += result.droppedValues;
    const QString relativePath = QDir(m_folder).relativeFilePath(path);
    for (int i = 0; i < result.persons.size(); ++i) {
        if (m_snapshot->m_people.size() >= m_limits.maxPeople) {
            omissions.peopleOverLimit += int(result.persons.size()) - i;
            break;
        }
        const Person &person = result.persons.at(i);
        m_snapshot->m_people.append(person);
        m_snapshot->m_personUids.append(person.uid().isEmpty() ? fileBasedUid(relativePath, 'p', i) : person.uid());
    }
    for (int i = 0; i < result.groups.size(); ++i) {
        const Person &group = result.groups.at(i);
        m_groupCards.append({group.uid().isEmpty() ? fileBasedUid(relativePath, 'g', i) : group.uid(),
                             group.formattedName(), group.members()});
    }
}

bool AddressBookSnapshot::Builder::addMember(Group &group, int person, QSet<int> &seen)
{
    if (m_memberships >= m_limits.maxMemberships)
        return false;
    if (!seen.contains(person)) {
        seen.insert(person);
        group.members.append(person);
        ++m_memberships;
    }
    return true;
}

void AddressBookSnapshot::Builder::makeGroups()
{
    QList<Group> &groups = m_snapshot->m_groups;
    QHash<QString, int> personByUid;
    for (int i = 0; i < m_snapshot->m_people.size(); ++i) {
        const QString &uid = m_snapshot->m_people.at(i).uid();
        if (!uid.isEmpty() && !personByUid.contains(memberKey(uid)))
            personByUid.insert(memberKey(uid), i);
    }

    for (const GroupCard &card : std::as_const(m_groupCards)) {
        if (groups.size() >= m_limits.maxGroups)
            break;
        Group group{card.uid, card.name, {}};
        QSet<int> seen;
        for (const QString &member : card.members) {
            const auto it = personByUid.constFind(memberKey(member));
            if (it != personByUid.constEnd() && !addMember(group, it.value(), seen))
                break;
        }
        groups.append(std::move(group));
    }

    QHash<QString, int> groupByCategory;
    for (int i = 0; i < m_snapshot->m_people.size(); ++i) {
        for (const QString &category : m_snapshot->m_people.at(i).categories()) {
            auto it = groupByCategory.find(category);
            if (it == groupByCategory.end()) {
                if (groups.size() >= m_limits.maxGroups)
                    continue;
                it = groupByCategory.insert(category, int(groups.size()));
                groups.append({QStringLiteral("category:") + category, category, {}});
            }
            // A person's categories are distinct, so nobody is added twice.
            if (m_memberships >= m_limits.maxMemberships)
                return;
            groups[it.value()].members.append(i);
            ++m_memberships;
        }
    }
}

std::shared_ptr<const AddressBookSnapshot> AddressBookSnapshot::read(const QString &folder, const Limits &limits)
{
    return Builder(folder, limits).build();
}

std::shared_ptr<const AddressBookSnapshot> AddressBookSnapshot::empty()
{
    auto snapshot = std::make_shared<AddressBookSnapshot>();
    snapshot->addColumns(Limits());
    return snapshot;
}

void AddressBookSnapshot::addColumns(const Limits &limits)
{
    QSet<std::pair<int, QString>> labelled;
    const qsizetype examined = std::min<qsizetype>(m_people.size(), limits.labelPeople);
    for (int p = 0; p < Person::PropertyCount; ++p) {
        const auto property = Person::Property(p);
        const Person::PropertyType type = Person::propertyType(property);
        if (type == Person::PropertyType::MultiDictionary)
            continue; // Addresses are no column of text.
        m_columns.append({property, QString()});
        if (type != Person::PropertyType::MultiString)
            continue;
        for (qsizetype i = 0; i < examined; ++i) {
            for (const Person::Value &value : m_people.at(i).multiValue(property).values) {
                if (labelled.size() < limits.maxLabelledColumns && !labelled.contains({p, value.label})) {
                    labelled.insert({p, value.label});
                    m_columns.append({property, value.label});
                }
            }
        }
    }
}
