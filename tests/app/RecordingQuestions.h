#pragma once

#include "QuestionPresenter.h"

#include <QList>
#include <QStringList>

// Answers from a list (Cancel when it runs out) and notes what was asked.
class RecordingQuestions : public QuestionPresenter {
public:
    RecordingQuestions() { QuestionPresenter::setCurrent(this); }
    ~RecordingQuestions() override { QuestionPresenter::setCurrent(nullptr); }
    bool confirm(QWidget *, const QString &title, const QString &text, const QString &action) override
    {
        asked.append(title + QStringLiteral(": ") + text);
        actions.append(action);
        return !answers.isEmpty() && answers.takeFirst();
    }
    QStringList asked;
    QStringList actions;
    QList<bool> answers;
};
