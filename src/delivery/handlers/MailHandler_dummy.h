#pragma once

#include "MailHandler.h"

#include <QVariantMap>

// The dry run: takes every message and sends nothing, so that a run can be
// tried out without any mail leaving the machine.
class MailHandler_dummy : public MailHandler {
public:
    MailHandler_dummy() = default;

    [[nodiscard]] static bool checkAccountData(const QVariantMap &account);
    [[nodiscard]] int sendMessage(const MailMessage &message) override;
};
