#pragma once

// The sheet in which a per-recipient attachment is made or edited: a root
// folder, a file name of text and field tags, and what to do when a
// recipient's file is missing. The logic is AttachmentEditorModel's.
//
// Main thread only.

#include "AttachmentEditorModel.h"

#include <QDialog>

#include <functional>
#include <memory>

class QButtonGroup;
class QLabel;
class QToolButton;
class SingleLineTextView;

namespace Ui {
class AttachmentEditor;
}

class AttachmentEditor : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AttachmentEditor)
public:
    // The table names the fields offered; it may be null.
    AttachmentEditor(const Database *database, QWidget *parent = nullptr);
    ~AttachmentEditor() override;

    void setAttachmentManager(AttachmentManager *manager) { m_model.setAttachmentManager(manager); }
    void editAttachment(std::shared_ptr<SmartAttachment> attachment);
    // Told after OK stored a change.
    void setChangedCallback(std::function<void()> changed) { m_changed = std::move(changed); }
    // Window-modal on the parent; deletes itself when it ends.
    void displayAsSheet();

    void setRootDir();
    void insertField(const QString &fieldName);
    void notFoundActionChanged(int action);
    void setDefaultFile();
    void revertNotFoundButtons();
    void okClicked();
    void cancelClicked();

    [[nodiscard]] AttachmentEditorModel &model() { return m_model; }
    [[nodiscard]] SingleLineTextView *fileNameField() const;
    [[nodiscard]] QLabel *rootDirField() const;
    [[nodiscard]] QLabel *defaultFileField() const;
    [[nodiscard]] QButtonGroup *notFoundButtons() const { return m_notFoundButtons; }
    [[nodiscard]] QToolButton *insertFieldMenu() const;

private:
    void showModel();

    std::unique_ptr<Ui::AttachmentEditor> m_ui;
    AttachmentEditorModel m_model;
    QButtonGroup *m_notFoundButtons;
    std::function<void()> m_changed;
};
