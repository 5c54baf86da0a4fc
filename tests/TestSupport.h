#pragma once

#include <QByteArray>
#include <QString>

// Path of a checked-in file below tests/data.
QString testDataPath(const QString &relative);

// Whole contents of a file, or an empty array when it cannot be read.
QByteArray readWholeFile(const QString &path);
