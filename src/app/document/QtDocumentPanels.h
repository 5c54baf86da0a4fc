#pragma once

#include "DocumentController.h"

// The document questions as Qt file dialogs and message boxes. Errors go
// through the current AlertPresenter like every other alert.
class QtDocumentPanels final : public DocumentPanels {
public:
    [[nodiscard]] QString openFile(QWidget *parent) override;
    [[nodiscard]] QString saveFile(QWidget *parent, const QString &suggestedPath) override;
    [[nodiscard]] SaveChoice askSaveChanges(QWidget *parent, const QString &documentName) override;
    [[nodiscard]] bool askRevertChanges(QWidget *parent, const QString &documentName) override;
    [[nodiscard]] bool askStopSendingForQuit(QWidget *parent, const QString &documentName) override;
    void showError(QWidget *parent, const QString &title, const QString &text) override;

    // The file dialogs' filter: project files, then all files.
    [[nodiscard]] static QString nameFilter();
};
