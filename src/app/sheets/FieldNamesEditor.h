#pragma once

// The field-names sheet: the table's fields in the order of the recipient
// view's columns, each renamed as soon as its cell is committed.

#include <QDialog>

#include <functional>
#include <memory>

class FieldNamesModel;
class RecipientCommands;

namespace Ui {
class FieldNamesEditor;
}

class FieldNamesEditor : public QDialog {
    Q_OBJECT
public:
    // `columnAt`: the identifier of the recipient view's column at a position.
    FieldNamesEditor(RecipientCommands *commands, std::function<QString(int position)> columnAt, QWidget *parent);
    ~FieldNamesEditor() override;

    [[nodiscard]] FieldNamesModel *model() const { return m_model; }
    // Window-modal on the parent; the sheet deletes itself when it ends.
    void displayAsSheet();

private:
    std::unique_ptr<Ui::FieldNamesEditor> m_ui;
    FieldNamesModel *m_model;
};
