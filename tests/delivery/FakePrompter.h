#pragma once

// A password prompt that answers what the test set and records what it was asked.

#include "PasswordPrompter.h"

#include <QString>

#include <optional>

class FakePrompter : public PasswordPrompter {
public:
    std::optional<QString> askForPassword(QObject *, const QString &server, const QString &login) override
    {
        ++asked;
        askedFor = server + ' ' + login;
        return answer;
    }
    std::optional<QString> answer;
    QString askedFor;
    int asked = 0;
};
