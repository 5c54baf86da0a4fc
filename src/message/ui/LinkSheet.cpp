#include "LinkSheet.h"

#include "ui_LinkSheet.h"

#include "Localizer.h"

#include <QPushButton>

LinkSheet::LinkSheet(QWidget *parent, OkHandler okClicked)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::LinkSheet>())
    , m_okClicked(std::move(okClicked))
{
    m_ui->setupUi(this);
    setWindowTitle(Localizer::localizedString("Localized-MessageEditor", "Link Sheet Title"));
    m_ui->label->setText(Localizer::localizedString("Localized-MessageEditor", "Link Sheet Address"));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
}

LinkSheet::~LinkSheet() = default;

QLineEdit *LinkSheet::textLinkURL() const
{
    return m_ui->textLinkURL;
}

QPushButton *LinkSheet::okButton() const
{
    return m_ui->buttonBox->button(QDialogButtonBox::Ok);
}

QPushButton *LinkSheet::cancelButton() const
{
    return m_ui->buttonBox->button(QDialogButtonBox::Cancel);
}

void LinkSheet::end()
{
    QDialog::accept();
}

void LinkSheet::accept()
{
    if (m_okClicked)
        m_okClicked();
    else
        end();
}
