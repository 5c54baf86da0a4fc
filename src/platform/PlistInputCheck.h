#pragma once

// A check of XML property-list text made before libplist 2.2 parses it: it
// parses recursively, so deep nesting would overflow its stack. Gives the
// problem found, or an empty string.

#include <QByteArray>
#include <QString>

namespace PlistInputCheck {
[[nodiscard]] QString xmlNestingProblem(const QByteArray &data);
} // namespace PlistInputCheck
