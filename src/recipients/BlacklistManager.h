#pragma once

// The process-wide list of addresses that must never receive a message,
// stored in the user defaults under "blacklist" exactly as the user typed the
// entries. An entry holding "*" is a wildcard pattern, any other an exact
// address; both match regardless of letter case, of a domain's spelling
// (Unicode or its ASCII form) and of quotes around the local part.
//
// Matching does not read the list: it reads a BlacklistMatcher built from
// the list by refreshSet() (at creation, by saveList() and addAddresses()),
// so replacing and removing take effect for matching only when the
// preferences are saved. The matcher is immutable and swapped under a lock,
// so a send run's worker thread may test addresses while the main thread saves; a run that wants one answer for its
// whole duration takes matcher() once at its start. Everything else (the
// list and its edits) belongs to the main thread.

#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>

class UserDefaults;

// One immutable set of derived match data; safe to share between threads.
class BlacklistMatcher {
public:
    // Matches nothing.
    BlacklistMatcher() = default;
    explicit BlacklistMatcher(const QStringList &entries);

    // Callers pass an address value as it stands in the recipient table.
    // Besides that whole value (the patterns are tested on it), every
    // mailbox it would be delivered to is tested against the exact entries:
    // each comma-separated piece, stripped of blanks, or the part between
    // "<" and ">" when the piece has a display name; a mailbox also in its
    // other spellings (local part unquoted, domain in ASCII or Unicode
    // form), which the patterns see as well. A null address (no address at
    // all) is never on the list; an empty one only when an entry is empty or
    // a pattern is all stars.
    [[nodiscard]] bool isAddressInList(const QString &address) const;

    // The lower-cased, blank-stripped entries without "*" (with the
    // envelope spelling of those written otherwise), and those with "*" in
    // list order.
    [[nodiscard]] const QSet<QString> &addressSet() const { return m_addressSet; }
    [[nodiscard]] const QStringList &addrPatternList() const { return m_addrPatternList; }

private:
    QSet<QString> m_addressSet;
    QStringList m_addrPatternList;
};

class BlacklistManager {
public:
    static inline const QString DefaultsKey = QStringLiteral("blacklist");

    // Created on first use from the standard user defaults; never destroyed.
    [[nodiscard]] static BlacklistManager &sharedManager();

    // Reads the list from the defaults; items that are not strings are left
    // out, and a value that is not a list reads as an empty one.
    explicit BlacklistManager(UserDefaults &defaults);
    Q_DISABLE_COPY_MOVE(BlacklistManager)

    // Any thread.
    [[nodiscard]] bool isAddressInList(const QString &address) const;
    [[nodiscard]] std::shared_ptr<const BlacklistMatcher> matcher() const;

    // Main thread only. Indexes outside the list are ignored. Replacing and
    // removing are neither stored nor matched until saveList().
    void replaceAddressAtIndex(int index, const QString &address);
    void removeAddressAtIndex(int index);
    // Removes every listed entry at once, in one pass over the list; indexes
    // outside the list and repeats are ignored. Like removeAddressAtIndex.
    void removeAddressesAtIndexes(const QList<int> &indexes);
    // The empty string for an index outside the list.
    [[nodiscard]] QString addressAtIndex(int index) const;
    // Keeps empty and repeated entries; stores the whole list and rebuilds
    // what is matched at once (pending replacements and removals included).
    void addAddresses(const QStringList &addresses);
    [[nodiscard]] int addressCount() const;
    [[nodiscard]] const QStringList &addressList() const { return m_addressList; }
    void refreshSet();
    void saveList();

private:
    void sortList();
    void storeList();

    UserDefaults &m_defaults;
    QStringList m_addressList;
    mutable std::mutex m_matcherMutex;
    std::shared_ptr<const BlacklistMatcher> m_matcher;
};
