#pragma once

// The new-document assistant: a window-modal sheet with a choice of
// document type and a checkbox to stop offering it. Confirming stores both
// and tells the delegate (the document) through its docAssistantDone slot,
// when it has one. There is no cancel.

#include <QDialog>
#include <QPointer>

#include <memory>

class QButtonGroup;
class QCheckBox;

namespace Ui {
class DocAssistant;
}

class DocAssistant : public QDialog {
    Q_OBJECT
public:
    explicit DocAssistant(QWidget *parent = nullptr);
    ~DocAssistant() override;

    // Selects the stored choice, clears the checkbox and opens the sheet on the window.
    void displayAssistantForWindow(QWidget *window, QObject *delegate);

    // The radio buttons, each with its type's number as id.
    [[nodiscard]] QButtonGroup *docType() const { return m_docType; }
    [[nodiscard]] QCheckBox *useAsDefaultCheckbox() const;

    void okClicked();

private:
    std::unique_ptr<Ui::DocAssistant> m_ui;
    QButtonGroup *m_docType;
    QPointer<QObject> m_delegate;
};
