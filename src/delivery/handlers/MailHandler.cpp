#include "MailHandler.h"

#include "MailHandler_direct.h"
#include "MailHandler_dummy.h"
#include "MailHandler_script.h"
#include "MailHandler_smtp.h"
#include "Settings.h"

std::unique_ptr<MailHandler> MailHandler::mailHandlerForAccount(const QVariantMap &account)
{
    const auto type = account.find(AccountKeys::AccountType);
    if (type == account.end())
        return nullptr;
    const QString name = type->toString();
    std::unique_ptr<MailHandler> handler;
    if (name == AccountTypes::Dummy)
        handler = std::make_unique<MailHandler_dummy>();
    else if (name == AccountTypes::Smtp)
        handler = std::make_unique<MailHandler_smtp>();
    else if (name == AccountTypes::LocalServer)
        handler = std::make_unique<MailHandler_direct>();
    else if (name == AccountTypes::AppleMail)
        handler = std::make_unique<MailHandler_script>();
    else
        return nullptr;
    handler->setConnectionData(account);
    return handler;
}

bool MailHandler::checkAccountData(const QVariantMap &account)
{
    const auto type = account.find(AccountKeys::AccountType);
    if (type == account.end())
        return false;
    const QString name = type->toString();
    if (name == AccountTypes::Smtp)
        return MailHandler_smtp::checkAccountData(account);
    if (name == AccountTypes::LocalServer)
        return MailHandler_direct::checkAccountData(account);
    if (name == AccountTypes::AppleMail)
        return MailHandler_script::checkAccountData(account);
    // A dry run is never checked: it needs nothing.
    return false;
}

std::optional<QVariantMap> MailHandler::setup(QObject *parentWindow, const std::optional<QVariantMap> &settings)
{
    (void)parentWindow;
    (void)settings;
    return QVariantMap();
}
