#pragma once

// Everything one send run is, from its start to its end, so that nothing
// of a run outlives it and nothing can be changed for a run that is going
// on: the engine, the table sent to, the entries to stamp, the counts.
//
// Main thread only.

#include "Database.h"

#include <memory>

class BlacklistMatcher;
class MailDispatcher;

struct SendRun {
    std::shared_ptr<MailDispatcher> dispatcher;
    bool dryRun = false;
    // The test table of a run to one; the run's table (T) is this or the
    // document's own.
    std::unique_ptr<Database> externalDatabase;
    Database *table = nullptr;
    // The entries as the engine's copy has them, by row: a stamp goes to
    // the entry that was sent to, wherever it is in the table by then.
    Database::EntryList entries;
    // The blacklist as the run's filter holds it, from the start to the end.
    std::shared_ptr<const BlacklistMatcher> blacklist;

    // Codes 2 and 4 of rows, in the run and since the last sent message.
    int errorCounter = 0;
    int errorsInRowCounter = 0;
    int maxErrorsInRowCount = 0;
    int mailsSent = 0;
    // Messages left out by their attachment (code 6), and ones that may
    // have been delivered: neither sent nor failed, but not a clean run.
    int skippedMessages = 0;
    int uncertainMessages = 0;
    bool errorWhileSending = false;
    bool seriousError = false;
    // The cancel button was pressed once; twice.
    bool abortSendingNext = false;
    bool abortedNow = false;
};
