#include "AlertPresenter.h"

#include "AlertDialog.h"
#include "QtAlertPresenter.h"
#include "Sheets.h"

#include <QMessageBox>
#include <QWidget>
#include <QPushButton>

#include <memory>

namespace {
AlertPresenter *installedPresenter = nullptr;
}

AlertPresenter &AlertPresenter::current()
{
    if (installedPresenter)
        return *installedPresenter;
    static QtAlertPresenter qtPresenter;
    return qtPresenter;
}

void AlertPresenter::setCurrent(AlertPresenter *presenter)
{
    installedPresenter = presenter;
}

void AlertPresenter::beginInformationSheet(const QString &title, const QString &text, QWidget *window)
{
    showAsSheet(new AlertDialog(title, text, window ? window->window() : nullptr, AlertDialog::Information));
}

void AlertPresenter::beginQuestionSheet(const QString &title, const QString &text, const QString &defaultButton,
                                        const QString &otherButton, QWidget *window, std::function<void(bool)> done)
{
    auto *box = new QMessageBox(window ? window->window() : nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Question);
    // The texts may hold what the user typed: never markup.
    box->setTextFormat(Qt::PlainText);
    // The informative text would be read as markup when it looks like it.
    box->setWindowTitle(title);
    box->setText(title.isEmpty() ? text : title + QStringLiteral("\n\n") + text);
    QPushButton *yes = box->addButton(defaultButton, QMessageBox::AcceptRole);
    QPushButton *no = box->addButton(otherButton, QMessageBox::RejectRole);
    box->setDefaultButton(yes);
    box->setEscapeButton(no);
    auto answered = std::make_shared<bool>(false);
    QObject::connect(box, &QMessageBox::finished, box, [box, yes, done = std::move(done), answered] {
        if (*answered)
            return;
        *answered = true;
        done(box->clickedButton() == yes);
    });
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    box->show();
}
