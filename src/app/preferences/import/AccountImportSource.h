#pragma once

#include "ImportedAccount.h"

#include <QList>
#include <QStringList>

// Where the import sheet finds accounts: another mail program's settings,
// read once when the sheet opens and never written.
class AccountImportSource {
public:
    virtual ~AccountImportSource() = default;

    // The accounts in the program's own order; read on the first call.
    [[nodiscard]] virtual QList<ImportedAccount> accounts() = 0;
    // What could not be read (files refused, entries skipped), for the user.
    [[nodiscard]] virtual QStringList warnings() = 0;
};
