#pragma once

// Questions that need the user's yes before something cannot be taken
// back (removing a stored table, quitting with unsaved stored tables). Like
// the alerts they pass through one presenter that tests replace.
//
// Main thread only.

#include <QString>

class QWidget;

class QuestionPresenter {
public:
    virtual ~QuestionPresenter() = default;

    // True when the user chose the action; false for Cancel. Window-modal
    // on the window, application-modal without one.
    [[nodiscard]] virtual bool confirm(QWidget *window, const QString &title, const QString &text,
                                       const QString &action) = 0;

    [[nodiscard]] static QuestionPresenter &current();
    // Not owned; nullptr puts the Qt one back.
    static void setCurrent(QuestionPresenter *presenter);
};
