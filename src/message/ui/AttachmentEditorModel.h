#pragma once

// What the attachment editor edits, apart from its widgets: a per-recipient
// attachment's root folder, tagged file name and action for a missing file
// (with the default file for action 3), and storing at OK. A cancelled
// default-file panel leaves the action and the file as they were before the
// click, so an attachment set to stop sending never quietly stops stopping.
//
// The attachment edited is held itself, not by its place in the list, and
// at OK the list is told of the change, so the attachments tab shows it.
//
// Main thread only.

#include "RichText.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class AttachmentManager;
class Database;
class SmartAttachment;

class AttachmentEditorModel {
public:
    static constexpr int NoAction = -1;
    static constexpr int UseDefaultFileAction = 3;

    enum class OkResult {
        Stored,
        RootFolderMissing,
        NoDefaultFile,
        // The attachment left the list while it was edited: nothing stored.
        NoLongerListed,
    };

    // The table's field names at opening time; the table may be null.
    explicit AttachmentEditorModel(const Database *database);

    void setAttachmentManager(AttachmentManager *manager) { m_attachmentManager = manager; }
    // Loads the attachment; without it a new one is made at OK.
    void editAttachment(std::shared_ptr<SmartAttachment> attachment);
    [[nodiscard]] const std::shared_ptr<SmartAttachment> &editedAttachment() const { return m_editedAttachment; }

    [[nodiscard]] const QStringList &fieldNames() const { return m_fieldNames; }
    [[nodiscard]] const RichText &fileName() const { return m_fileName; }
    [[nodiscard]] const QString &rootDirectory() const { return m_rootDirectory; }
    [[nodiscard]] const QString &defaultFile() const { return m_defaultFile; }
    [[nodiscard]] int selectedAction() const { return m_selectedAction; }

    // A chosen folder; an empty path (a cancelled panel) changes nothing.
    void setRootDirectory(const QString &path);
    // True when the default file is to be asked for now (action 3); the
    // selection changes only once a file is chosen.
    [[nodiscard]] bool notFoundActionChanged(int action);
    // The default-file panel's answer; an empty one (cancelled) changes nothing.
    void defaultFileChosen(const QString &path);

    // Validates and stores the file name given with the rest.
    [[nodiscard]] OkResult okClicked(const RichText &fileName);

private:
    QStringList m_fieldNames;
    AttachmentManager *m_attachmentManager = nullptr;
    std::shared_ptr<SmartAttachment> m_editedAttachment;
    RichText m_fileName;
    QString m_rootDirectory;
    QString m_defaultFile;
    int m_selectedAction = 2;
};
