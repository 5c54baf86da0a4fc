#pragma once

// The condition editor sheet: window-modal on its parent's window, deleted
// when it closes. OK hands a new condition to `inserted`, or tells
// `changed` that the edited one took the sheet's name and rules; Cancel
// changes nothing.

#include "ConditionEditorModel.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class ConditionEditor;
}

class ConditionEditor : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConditionEditor)
public:
    struct Handlers {
        std::function<void(const std::shared_ptr<ConditionTag> &)> inserted;
        std::function<void(ConditionTag *)> changed;
    };

    // tag: the condition to edit, or null for a new one.
    ConditionEditor(QWidget *parent, const std::shared_ptr<ConditionTag> &tag, const QStringList &fieldNames,
                    Handlers handlers);
    ~ConditionEditor() override;

    [[nodiscard]] ConditionEditorModel &model() { return *m_model; }

    void displayAsSheet();
    void accept() override;

private:
    void loadRuleData();
    void insertField(const QString &name);
    void selectionChanged();

    std::unique_ptr<Ui::ConditionEditor> m_ui;
    ConditionEditorModel *m_model;
    Handlers m_handlers;
    bool m_loading = false;
};
