#pragma once

// Checks of raw property-list bytes made before libplist 2.2 parses them:
// it parses recursively and builds a fresh node for every reference, so
// deep nesting overflows its stack and shared references expand
// exponentially. Each check gives the problem found, or an empty string.

#include <QByteArray>
#include <QString>

namespace PlistInputCheck {
[[nodiscard]] QString binaryPlistProblem(const QByteArray &data);
[[nodiscard]] QString xmlNestingProblem(const QByteArray &data);
} // namespace PlistInputCheck
