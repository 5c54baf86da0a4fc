#pragma once

// The value rules every stored string obeys when it is read as a flag or a
// number. Preferences and entries hold "Yes", "No", "0", "12abc" as often as
// real booleans and numbers, so one reading serves everywhere. Never use
// QVariant::toBool() on a string: it calls "No" true.

#include <QString>
#include <QVariant>

// true when, after leading blanks, an optional sign and leading zeros, the
// first character is one of Y, y, T, t or a digit 1-9.
bool boolValue(const QString &text);
// The leading decimal integer after blanks and an optional sign, saturated
// to the type's range; 0 when there is none ("12abc" is 12).
int intValue(const QString &text);
qint64 integerValue(const QString &text);
// The leading decimal floating-point number; 0.0 when there is none.
double doubleValue(const QString &text);

// The same rules for any stored value: strings as above, numbers and
// booleans by value, everything else (including a missing value) false or 0.
bool boolValue(const QVariant &value);
int intValue(const QVariant &value);
qint64 integerValue(const QVariant &value);
double doubleValue(const QVariant &value);

// A value counts as a string only when it holds one; a missing value is
// told apart from an empty string.
bool isStringValue(const QVariant &value);
// Booleans and every integer and floating-point type.
bool isNumberValue(const QVariant &value);
