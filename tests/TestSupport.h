#pragma once

#include <QByteArray>
#include <QString>

// Path of a checked-in file below tests/data.
QString testDataPath(const QString &relative);

// Whole contents of a file, or an empty array when it cannot be read.
QByteArray readWholeFile(const QString &path);

// Sets the process's time zone for as long as it lives.
class TimeZone {
public:
    explicit TimeZone(const char *zone);
    ~TimeZone();
    TimeZone(const TimeZone &) = delete;
    TimeZone &operator=(const TimeZone &) = delete;

private:
    QByteArray m_old;
    bool m_had;
};
