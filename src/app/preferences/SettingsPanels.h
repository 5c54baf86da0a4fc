#pragma once

// The questions the preferences window asks through the desktop's own
// panels: a folder to install a template from, a text file to import into
// the blacklist, a font. Tests put scripted answers in place, so no test
// blocks on a dialog.

#include "TextAttributes.h"

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

class SettingsPanels {
public:
    virtual ~SettingsPanels() = default;

    // Empty when cancelled.
    [[nodiscard]] virtual QString chooseFolder(QWidget *parent) = 0;
    // One file of the given suffixes (without the dot); empty when cancelled.
    [[nodiscard]] virtual QString openFile(QWidget *parent, const QStringList &suffixes) = 0;
    [[nodiscard]] virtual std::optional<FontDescriptor> chooseFont(QWidget *parent, const FontDescriptor &current) = 0;

    // The panels in use; the Qt ones unless a test set others.
    [[nodiscard]] static SettingsPanels &current();
    // Not owned; nullptr puts the Qt panels back.
    static void setCurrent(SettingsPanels *panels);
};
