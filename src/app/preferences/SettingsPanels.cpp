#include "SettingsPanels.h"

#include "QtSettingsPanels.h"

namespace {

SettingsPanels *replacement = nullptr;

} // namespace

SettingsPanels &SettingsPanels::current()
{
    static QtSettingsPanels qtPanels;
    return replacement ? *replacement : qtPanels;
}

void SettingsPanels::setCurrent(SettingsPanels *panels)
{
    replacement = panels;
}
