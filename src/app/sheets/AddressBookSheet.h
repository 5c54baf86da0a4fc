#pragma once

// The contacts import sheet: all contacts or one group, and whether all of
// a contact's addresses go into the address column (AddressBookImport).

#include <QDialog>
#include <QPointer>
#include <QStringList>

#include <memory>

class AddressBookSnapshot;
class RecipientCommands;

namespace Ui {
class AddressBookSheet;
}

class AddressBookSheet : public QDialog {
    Q_OBJECT
public:
    AddressBookSheet(RecipientCommands *commands, std::shared_ptr<const AddressBookSnapshot> contacts,
                     QWidget *parent);
    ~AddressBookSheet() override;

    [[nodiscard]] Ui::AddressBookSheet *ui() const { return m_ui.get(); }
    void displayAsSheet();
    void getAddressBookData();

private:
    std::unique_ptr<Ui::AddressBookSheet> m_ui;
    QPointer<RecipientCommands> m_commands;
    std::shared_ptr<const AddressBookSnapshot> m_contacts;
    QStringList m_choices;
};
