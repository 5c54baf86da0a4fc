#pragma once

#include "SettingsPanels.h"

// The Qt file and font dialogs.
class QtSettingsPanels final : public SettingsPanels {
public:
    [[nodiscard]] QString chooseFolder(QWidget *parent) override;
    [[nodiscard]] QString openFile(QWidget *parent, const QStringList &suffixes) override;
    [[nodiscard]] std::optional<FontDescriptor> chooseFont(QWidget *parent, const FontDescriptor &current) override;
};
