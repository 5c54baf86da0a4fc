#pragma once

// The template selector sheet: window-modal on its parent's window,
// deleted when it closes. A click on a template, or activating it (double
// click, Return), chooses it and ends the sheet; moving through the list
// with the keys chooses nothing. OK and Cancel only end the sheet.

#include "TemplateSelectorModel.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class TemplateSelector;
}

class TemplateSelector : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TemplateSelector)
public:
    static inline const QSize PreviewSize{160, 120};

    TemplateSelector(QWidget *parent, std::function<void(const QString &name)> chosen);
    ~TemplateSelector() override;

    [[nodiscard]] TemplateSelectorModel &model() { return *m_model; }
    void displayAsSheet();

private:
    void choose(const QModelIndex &index);

    std::unique_ptr<Ui::TemplateSelector> m_ui;
    TemplateSelectorModel *m_model;
    std::function<void(const QString &)> m_chosen;
};
