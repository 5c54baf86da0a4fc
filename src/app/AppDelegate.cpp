#include "AppDelegate.h"

#include "Settings.h"
#include "TemplateManager.h"

bool AppDelegate::applicationShouldOpenUntitledFile() const
{
    return Settings::newDocOnLaunch();
}

void AppDelegate::applicationDidFinishLaunching()
{
    TemplateManager::loadTemplates();
}
