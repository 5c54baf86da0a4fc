#include "QuestionPresenter.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

class QtQuestionPresenter final : public QuestionPresenter {
public:
    bool confirm(QWidget *window, const QString &title, const QString &text, const QString &action) override
    {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, window);
        if (window)
            box.setWindowModality(Qt::WindowModal);
        QPushButton *accept = box.addButton(action, QMessageBox::DestructiveRole);
        box.setDefaultButton(box.addButton(QMessageBox::Cancel));
        box.exec();
        return box.clickedButton() == accept;
    }
};

QuestionPresenter *&installed()
{
    static QuestionPresenter *presenter = nullptr;
    return presenter;
}

} // namespace

QuestionPresenter &QuestionPresenter::current()
{
    static QtQuestionPresenter qtPresenter;
    return installed() ? *installed() : qtPresenter;
}

void QuestionPresenter::setCurrent(QuestionPresenter *presenter)
{
    installed() = presenter;
}
