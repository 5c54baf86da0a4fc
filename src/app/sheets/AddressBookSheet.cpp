#include "AddressBookSheet.h"

#include "ui_AddressBookSheet.h"

#include "AddressBookImport.h"
#include "RecipientCommands.h"

#include "AddressBookSnapshot.h"

#include "ActionGuard.h"

AddressBookSheet::AddressBookSheet(RecipientCommands *commands, std::shared_ptr<const AddressBookSnapshot> contacts,
                                   QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AddressBookSheet>()), m_commands(commands),
      m_contacts(std::move(contacts))
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    if (m_contacts)
        m_choices = AddressBookImport::groupChoices(*m_contacts);
    m_ui->abGroupMenu->addItems(m_choices);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &AddressBookSheet::getAddressBookData);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

AddressBookSheet::~AddressBookSheet() = default;

void AddressBookSheet::displayAsSheet()
{
    open();
}

void AddressBookSheet::getAddressBookData()
{
    ActionGuard::run(
        [this] {
            if (m_commands && m_contacts)
                AddressBookImport::import(*m_commands, *m_contacts, m_choices, m_ui->abGroupMenu->currentIndex(),
                                          m_ui->abCollateAddresses->isChecked());
        },
        parentWidget());
    accept();
}
