#include "CheckSheet.h"

#include "CheckSheetModel.h"
#include "Sheets.h"

#include "ui_AskSendMessages.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QHash>
#include <QLabel>

namespace {

// The interface descriptions by sheet name.
using SetUp = void (*)(QDialog *);
const QHash<QString, SetUp> &descriptions()
{
    static const QHash<QString, SetUp> table{
        {QStringLiteral("AskSendMessages"), [](QDialog *dialog) { Ui::AskSendMessages().setupUi(dialog); }},
    };
    return table;
}

constexpr int NoTag = -1;

} // namespace

void CheckSheet::displaySheet(const QString &sheetName, QWidget *window, Done done, const QString &question)
{
    if (CheckSheetModel::answersAtOnce(sheetName)) {
        done(CheckSheetModel::ConfirmTag);
        return;
    }
    CheckSheet *sheet = initWithSheet(sheetName, window ? window->window() : nullptr);
    if (!sheet) {
        done(NoTag);
        return;
    }
    if (QLabel *label = sheet->question(); label && !question.isEmpty())
        label->setText(question);
    sheet->setDelegate(std::move(done));
    sheet->displayAsSheet();
}

CheckSheet *CheckSheet::initWithSheet(const QString &sheetName, QWidget *parent)
{
    if (!descriptions().contains(sheetName))
        return nullptr;
    return new CheckSheet(sheetName, parent);
}

CheckSheet::CheckSheet(const QString &sheetName, QWidget *parent)
    : QDialog(parent), m_sheetName(sheetName)
{
    descriptions().value(sheetName)(this);
    m_checkbox = findChild<QCheckBox *>(QStringLiteral("checkbox"));
    for (QAbstractButton *button : findChildren<QAbstractButton *>()) {
        const QVariant tag = button->property("tag");
        if (tag.isValid())
            connect(button, &QAbstractButton::clicked, this, [this, tag = tag.toInt()] { buttonClicked(tag); });
    }
}

QLabel *CheckSheet::question() const
{
    return findChild<QLabel *>(QStringLiteral("question"));
}

QAbstractButton *CheckSheet::buttonWithTag(int tag) const
{
    for (QAbstractButton *button : findChildren<QAbstractButton *>()) {
        if (button->property("tag").isValid() && button->property("tag").toInt() == tag)
            return button;
    }
    return nullptr;
}

void CheckSheet::displayAsSheet()
{
    showAsSheet(this);
}

void CheckSheet::buttonClicked(int tag)
{
    if (m_finished)
        return;
    CheckSheetModel::buttonClicked(m_sheetName, tag, m_checkbox && m_checkbox->isChecked());
    finish(tag);
}

void CheckSheet::reject()
{
    // Escape or the close button: no answer stored, and not a yes.
    finish(NoTag);
}

void CheckSheet::finish(int tag)
{
    if (m_finished)
        return;
    m_finished = true;
    // Closed first: what the delegate does next may need the window.
    done(tag == CheckSheetModel::ConfirmTag ? Accepted : Rejected);
    if (m_done)
        m_done(tag);
}
