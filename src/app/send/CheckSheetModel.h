#pragma once

// The remembered answer of a confirmation sheet: the user default
// "show_<name>", a number. 0 (any value that reads as NO) skips the sheet
// and answers yes at once; 1 or nothing shows it. Only the confirming
// button (tag 1) stores anything: 1 minus the state of the checkbox for
// not asking again.

#include <QString>

namespace CheckSheetModel {

inline constexpr int ConfirmTag = 1;

[[nodiscard]] QString defaultsKey(const QString &sheetName);
// Whether the sheet is skipped and the answer is 1 at once.
[[nodiscard]] bool answersAtOnce(const QString &sheetName);
void buttonClicked(const QString &sheetName, int tag, bool doNotAskAgain);

} // namespace CheckSheetModel
