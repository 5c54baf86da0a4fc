#include "RecipientTally.h"

#include "BlacklistManager.h"
#include "Database.h"
#include "Localizer.h"

#include <QStringList>

RecipientTally RecipientTally::ofTable(const Database &table, const BlacklistMatcher *blacklist)
{
    RecipientTally tally;
    tally.rows = table.entryCount();
    for (int row = 0; row < tally.rows; ++row) {
        const QString address = table.addressForEntry(row);
        if (address.isEmpty() || !address.contains(QLatin1Char('@')))
            ++tally.withoutAddress;
        else if (!table.isEntryActive(row))
            ++tally.inactive;
        else if (blacklist && blacklist->isAddressInList(address))
            ++tally.blacklisted;
    }
    return tally;
}

QString RecipientTally::nothingSentText() const
{
    if (rows == 0)
        return Localizer::localizedString("Localized-SendTab", "NOTHING_SENT_NO_ROWS");
    QStringList lines{Localizer::localizedString("Localized-SendTab", "NOTHING_SENT_TEXT"), QString(),
                      Localizer::localizedString("Localized-SendTab", "Rows in the table: %1").arg(rows)};
    const auto add = [&](int count, const QString &label) {
        if (count > 0)
            lines.append(label.arg(count));
    };
    add(withoutAddress, Localizer::localizedString("Localized-SendTab", "Without an e-mail address: %1"));
    add(inactive, Localizer::localizedString("Localized-SendTab", "Switched off: %1"));
    add(blacklisted, Localizer::localizedString("Localized-SendTab", "Blacklisted: %1"));
    return lines.join(QLatin1Char('\n'));
}
