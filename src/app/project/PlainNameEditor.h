#pragma once

// The one-field sheet that asks for a name (of a new table, a new column,
// or a column's new name).

#include "PanelWindowController.h"

#include <memory>

namespace Ui {
class PlainNameEditor;
}

class PlainNameEditor : public PanelWindowController {
    Q_OBJECT
public:
    explicit PlainNameEditor(QWidget *parent = nullptr);
    ~PlainNameEditor() override;

    void setName(const QString &name);
    // What the field holds now.
    [[nodiscard]] QString name() const;
    void setPrompt(const QString &prompt);

    [[nodiscard]] Ui::PlainNameEditor *ui() const { return m_ui.get(); }

private:
    std::unique_ptr<Ui::PlainNameEditor> m_ui;
};
