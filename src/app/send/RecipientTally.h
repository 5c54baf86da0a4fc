#pragma once

// How many rows of a table a run to it addresses, and why the others are
// left out, by the engine's rules in the engine's order: an address that
// holds "@" first, then the row switched on, then the blacklist. The user
// is told these counts before a run to all recipients and after a run
// that sent nothing.
//
// Main thread only.

#include <QString>

class BlacklistMatcher;
class Database;

struct RecipientTally {
    int rows = 0;
    int withoutAddress = 0;
    int inactive = 0;
    int blacklisted = 0;

    [[nodiscard]] int addressed() const { return rows - withoutAddress - inactive - blacklisted; }

    // One pass over the table; no blacklist blocks nobody.
    [[nodiscard]] static RecipientTally ofTable(const Database &table, const BlacklistMatcher *blacklist);

    // For the alert and the log of a run that sent nothing: that nothing
    // was sent, then why, count by count.
    [[nodiscard]] QString nothingSentText() const;
};
