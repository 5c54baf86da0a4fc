#pragma once

// The open and save panels: files, a folder, a place to save. Every panel
// is window-modal on its parent and answers through a callback, called
// once; an empty answer means the user cancelled. Tests put scripted
// panels in place, so that no test waits for a dialog.

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

class FilePanels {
public:
    using FilesDone = std::function<void(const QStringList &paths)>;
    using PathDone = std::function<void(const QString &path)>;

    virtual ~FilePanels() = default;

    // Existing files of any type; several when allowed, in the panel's order.
    virtual void openFiles(QWidget *parent, bool allowMultiple, FilesDone done) = 0;
    // An existing folder; files cannot be chosen.
    virtual void chooseFolder(QWidget *parent, PathDone done) = 0;
    // A path to write; a name typed without it gets the suffix (without its dot).
    virtual void saveFile(QWidget *parent, const QString &suffix, PathDone done) = 0;

    // The panels in use: the ones set, else Qt's file dialogs.
    [[nodiscard]] static FilePanels &current();
    // Not owned; nullptr puts Qt's file dialogs back.
    static void setCurrent(FilePanels *panels);
};

// Qt's file dialogs.
class QtFilePanels final : public FilePanels {
public:
    void openFiles(QWidget *parent, bool allowMultiple, FilesDone done) override;
    void chooseFolder(QWidget *parent, PathDone done) override;
    void saveFile(QWidget *parent, const QString &suffix, PathDone done) override;
};
