#pragma once

// The contacts sheet's choices and its import, without widgets: "ALL" (its
// text from the "Localized" table) first, then the group names in plain
// ascending order, each name once; choosing a name imports the members of
// every group of that name.

#include <QStringList>

class AddressBookSnapshot;
class RecipientCommands;

namespace AddressBookImport {

[[nodiscard]] QStringList groupChoices(const AddressBookSnapshot &contacts);
// The people added.
int import(RecipientCommands &commands, const AddressBookSnapshot &contacts, const QStringList &choices, int choice,
           bool collateAddresses);

} // namespace AddressBookImport
