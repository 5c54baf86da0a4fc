#pragma once

// Which recipients the last-sent filter switches: range 0 those last sent
// before the date, range 1 those sent after it and those never sent. An
// entry sent exactly at the date matches neither; any other range nothing.
// Dates compare as instants, so a change of daylight-saving time between
// the two changes nothing.

#include "Database.h"

#include <QDateTime>

class SendDateRule {
public:
    enum Range { Before = 0, AfterOrNever = 1 };

    SendDateRule(int range, const QDateTime &date) : m_range(range), m_date(date) {}

    [[nodiscard]] bool matches(const Database::Entry &entry) const;

private:
    int m_range;
    QDateTime m_date;
};
