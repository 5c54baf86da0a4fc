#include "AddressBookImport.h"

#include "RecipientCommands.h"

#include "AddressBookSnapshot.h"
#include "Localizer.h"

#include <algorithm>

namespace AddressBookImport {

QStringList groupChoices(const AddressBookSnapshot &contacts)
{
    QStringList names;
    for (const AddressBookSnapshot::Group &group : contacts.groups())
        names << (group.name.isNull() ? QStringLiteral("") : group.name);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    names.prepend(Localizer::localizedString("Localized", "ALL"));
    return names;
}

int import(RecipientCommands &commands, const AddressBookSnapshot &contacts, const QStringList &choices, int choice,
           bool collateAddresses)
{
    if (choice <= 0 || choice >= choices.size())
        return commands.importContacts(contacts, QString(), collateAddresses);
    return commands.importContacts(contacts, choices.at(choice), collateAddresses);
}

} // namespace AddressBookImport
