#pragma once

#include <QString>

class QWidget;

// Alerts for user mistakes and expected failures: a title and a text looked
// up by key (a key without an entry shows as itself), one "OK" button.
// The texts are shown as they are: neither "%" nor markup in them means
// anything. A panel blocks until dismissed; a sheet returns at once and
// tells its caller nothing of its end.

void DoDisplayAlert(const QString &titleKey, const QString &textKey);
void DoDisplayAlert_Loc(const QString &table, const QString &titleKey, const QString &textKey);
void DoDisplayAlertSheet(const QString &titleKey, const QString &textKey, QWidget *window);
void DoDisplayAlertSheet_Loc(const QString &table, const QString &titleKey, const QString &textKey, QWidget *window);
// The text is the localised text, a blank line, then the detail text unchanged.
void DoDisplayExtendedAlertSheet(const QString &titleKey, const QString &textKey, const QString &detailText,
                                 QWidget *window);
