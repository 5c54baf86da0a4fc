#include "MailHandler_dummy.h"

bool MailHandler_dummy::checkAccountData(const QVariantMap &account)
{
    (void)account;
    return true;
}

int MailHandler_dummy::sendMessage(const MailMessage &message)
{
    (void)message;
    return 0;
}
