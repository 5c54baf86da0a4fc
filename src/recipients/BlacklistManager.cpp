#include "BlacklistManager.h"

#include "BetterString.h"
#include "UserDefaults.h"

#include <QUrl>
#include <QVariant>
#include <QVariantList>

#include <algorithm>

namespace {

// Entries typed with stray blanks, or imported with a left-over carriage
// return, would otherwise never match a clean address.
QString normalizedEntry(const QString &entry)
{
    return entry.trimmed().toLower();
}

bool isAscii(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// The local part of a quoted string without its quotes and escapes: "bob"
// and bob are one mailbox (RFC 5321 section 4.1.2).
QString unquotedLocalPart(QStringView local)
{
    if (local.size() < 2 || local.front() != u'"' || local.back() != u'"')
        return local.toString();
    QString plain;
    plain.reserve(local.size() - 2);
    for (qsizetype i = 1; i + 1 < local.size(); ++i) {
        if (local[i] == u'\\' && i + 2 < local.size())
            ++i;
        plain.append(local[i]);
    }
    return plain;
}

// The spellings of a lower-cased mailbox other than its own: the form the
// envelope carries (local part unquoted, domain in its ASCII form, IDNA),
// and the same with the domain in Unicode, which a pattern may be written
// in. One conversion each, and only for mailboxes that need it.
QStringList otherSpellings(const QString &mailbox)
{
    const qsizetype at = mailbox.lastIndexOf(u'@');
    if (at < 0)
        return {};
    const QStringView local(QStringView(mailbox).left(at));
    const QStringView domain(QStringView(mailbox).mid(at + 1));
    const bool quoted = local.startsWith(u'"');
    const bool unicode = !isAscii(domain);
    const bool ace = !unicode && domain.contains(QLatin1String("xn--"));
    if (!quoted && !unicode && !ace)
        return {};
    const QString plainLocal = unquotedLocalPart(local);
    const QString asciiDomain = unicode ? QString::fromLatin1(QUrl::toAce(domain.toString())) : domain.toString();
    QStringList spellings;
    const auto add = [&](const QString &domainForm) {
        if (domainForm.isEmpty())
            return;
        const QString spelling = plainLocal + u'@' + domainForm.toLower();
        if (spelling != mailbox && !spellings.contains(spelling))
            spellings.append(spelling);
    };
    add(asciiDomain);
    if (asciiDomain.contains(QLatin1String("xn--")))
        add(QUrl::fromAce(asciiDomain.toLatin1(), QUrl::IgnoreIDNWhitelist));
    return spellings;
}

} // namespace

BlacklistMatcher::BlacklistMatcher(const QStringList &entries)
{
    for (const QString &entry : entries) {
        const QString normalized = normalizedEntry(entry);
        if (normalized.contains(u'*')) {
            m_addrPatternList.append(normalized);
            continue;
        }
        m_addressSet.insert(normalized);
        // An address is looked up in its envelope form too, so the entry's
        // envelope form (the first other spelling) must be here as well.
        const QStringList spellings = otherSpellings(normalized);
        if (!spellings.isEmpty())
            m_addressSet.insert(spellings.first());
    }
}

bool BlacklistMatcher::isAddressInList(const QString &address) const
{
    if (address.isNull())
        return false;
    const QString lowered = address.toLower();
    if (m_addressSet.contains(lowered))
        return true;
    // The SMTP client sends one RCPT TO per comma-separated piece, to the
    // part in angle brackets when there is one; a blacklisted mailbox must
    // not slip through behind a display name, blanks or another address,
    // nor behind another spelling of itself (a quoted local part, the
    // domain in Unicode or in its ASCII form). Patterns are unanchored, so
    // one that matches a piece also matches the whole value: they need the
    // pieces' other spellings only.
    QStringList spellings;
    for (QStringView piece : QStringView(lowered).split(u',')) {
        const qsizetype open = piece.indexOf(u'<');
        const qsizetype close = open < 0 ? -1 : piece.indexOf(u'>', open + 1);
        if (close > open)
            piece = piece.mid(open + 1, close - open - 1);
        piece = piece.trimmed();
        if (piece.isEmpty())
            continue;
        const QString mailbox = piece.toString();
        if (m_addressSet.contains(mailbox))
            return true;
        for (const QString &spelling : otherSpellings(mailbox)) {
            if (m_addressSet.contains(spelling))
                return true;
            spellings.append(spelling);
        }
    }
    for (const QString &pattern : m_addrPatternList) {
        if (BetterString::matchesWildcardPattern(lowered, pattern))
            return true;
        for (const QString &spelling : std::as_const(spellings)) {
            if (BetterString::matchesWildcardPattern(spelling, pattern))
                return true;
        }
    }
    return false;
}

BlacklistManager &BlacklistManager::sharedManager()
{
    // Never destroyed: a send run's worker may still test addresses while
    // the process ends.
    static BlacklistManager *const instance = new BlacklistManager(UserDefaults::standardUserDefaults());
    return *instance;
}

BlacklistManager::BlacklistManager(UserDefaults &defaults)
    : m_defaults(defaults)
{
    if (const auto stored = m_defaults.arrayForKey(DefaultsKey)) {
        for (const QVariant &item : *stored) {
            if (item.typeId() == QMetaType::QString)
                m_addressList.append(item.toString());
        }
    }
    refreshSet();
}

bool BlacklistManager::isAddressInList(const QString &address) const
{
    return matcher()->isAddressInList(address);
}

std::shared_ptr<const BlacklistMatcher> BlacklistManager::matcher() const
{
    std::lock_guard lock(m_matcherMutex);
    return m_matcher;
}

void BlacklistManager::replaceAddressAtIndex(int index, const QString &address)
{
    if (index < 0 || index >= m_addressList.size())
        return;
    m_addressList[index] = address.isNull() ? QStringLiteral("") : address;
    sortList();
}

void BlacklistManager::removeAddressAtIndex(int index)
{
    if (index < 0 || index >= m_addressList.size())
        return;
    m_addressList.removeAt(index);
}

void BlacklistManager::removeAddressesAtIndexes(const QList<int> &indexes)
{
    // Removing one by one moves the rest of the list each time: quadratic
    // for a large selection in a long list.
    QList<bool> removed(m_addressList.size(), false);
    bool any = false;
    for (const int index : indexes) {
        if (index >= 0 && index < m_addressList.size()) {
            removed[index] = true;
            any = true;
        }
    }
    if (!any)
        return;
    QStringList kept;
    kept.reserve(m_addressList.size());
    for (qsizetype i = 0; i < m_addressList.size(); ++i) {
        if (!removed[i])
            kept.append(m_addressList[i]);
    }
    m_addressList = std::move(kept);
}

QString BlacklistManager::addressAtIndex(int index) const
{
    if (index < 0 || index >= m_addressList.size())
        return QStringLiteral("");
    return m_addressList.at(index);
}

void BlacklistManager::addAddresses(const QStringList &addresses)
{
    for (const QString &address : addresses)
        m_addressList.append(address.isNull() ? QStringLiteral("") : address);
    sortList();
    // Added addresses are blocked at once, with edits not yet saved.
    saveList();
}

int BlacklistManager::addressCount() const
{
    return int(m_addressList.size());
}

void BlacklistManager::refreshSet()
{
    std::shared_ptr<const BlacklistMatcher> matcher = std::make_shared<const BlacklistMatcher>(m_addressList);
    {
        std::lock_guard lock(m_matcherMutex);
        m_matcher.swap(matcher);
    }
    // The previous matcher is let go here, outside the lock, unless a
    // worker still holds it.
}

void BlacklistManager::saveList()
{
    storeList();
    refreshSet();
}

void BlacklistManager::sortList()
{
    // The order of compareStrings for entries that are all present strings,
    // compared as they are: wrapping each in a value for every comparison
    // took most of a second for a list of 100,000.
    std::stable_sort(m_addressList.begin(), m_addressList.end(),
                     [](const QString &a, const QString &b) { return QString::compare(a, b, Qt::CaseSensitive) < 0; });
}

void BlacklistManager::storeList()
{
    m_defaults.setObject(QVariantList(m_addressList.cbegin(), m_addressList.cend()), DefaultsKey);
}
