#pragma once

// The field filter sheet: switches recipients on or off by comparing a
// field's value with a text (FieldContentsRule). The field list is the
// table's fields when the sheet opens, in field order.

#include <QDialog>
#include <QPointer>

#include <memory>

class RecipientCommands;

namespace Ui {
class FilterByField;
}

class FieldContentsFilter : public QDialog {
    Q_OBJECT
public:
    FieldContentsFilter(RecipientCommands *commands, bool newState, QWidget *parent);
    ~FieldContentsFilter() override;

    [[nodiscard]] Ui::FilterByField *ui() const { return m_ui.get(); }
    void displayAsSheet();
    void okClicked();

private:
    std::unique_ptr<Ui::FilterByField> m_ui;
    QPointer<RecipientCommands> m_commands;
    bool m_newState;
};
