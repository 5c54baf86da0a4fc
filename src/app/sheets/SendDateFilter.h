#pragma once

// The last-sent filter sheet: switches recipients on or off by the date
// they were last sent to (SendDateRule).

#include <QDialog>
#include <QPointer>

#include <memory>

class RecipientCommands;

namespace Ui {
class FilterByDate;
}

class SendDateFilter : public QDialog {
    Q_OBJECT
public:
    // `newState`: true switches the matching recipients on.
    SendDateFilter(RecipientCommands *commands, bool newState, QWidget *parent);
    ~SendDateFilter() override;

    [[nodiscard]] Ui::FilterByDate *ui() const { return m_ui.get(); }
    void displayAsSheet();
    // Applies the rule and ends the sheet.
    void okClicked();

private:
    std::unique_ptr<Ui::FilterByDate> m_ui;
    QPointer<RecipientCommands> m_commands;
    bool m_newState;
};
