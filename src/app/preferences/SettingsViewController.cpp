#include "SettingsViewController.h"

#include "ui_SettingsAcntEmpty.h"

#include "AddressOnlySettingsView.h"
#include "SMTPSettingsView.h"

#include "Settings.h"

SettingsView *SettingsViewController::loadAccountView(const QString &type, QWidget *parent)
{
    if (type == AccountTypes::Smtp)
        return new SMTPSettingsView(parent);
    if (type == AccountTypes::LocalServer)
        return new LocalServerSettingsView(parent);
    if (type == AccountTypes::AppleMail)
        return new AppleMailSettingsView(parent);
    auto *empty = new SettingsView(parent);
    Ui::SettingsAcntEmpty ui;
    ui.setupUi(empty);
    return empty;
}
