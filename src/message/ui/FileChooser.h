#pragma once

// The open panel of the message editors: one file, window-modal, the
// answer handed to a callback (null path: cancelled). Tests put a chooser
// of their own in place, so that no test waits for a dialog.

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

class FileChooser {
public:
    using Done = std::function<void(const QString &path)>;
    virtual ~FileChooser() = default;

    // nameFilters as QFileDialog takes them; empty for any file.
    virtual void chooseFile(QWidget *parent, const QString &title, const QStringList &nameFilters, Done done) = 0;

    // The chooser in use: the one set, else Qt's file dialog.
    [[nodiscard]] static FileChooser &current();
    // Not owned; null returns to Qt's file dialog.
    static void setCurrent(FileChooser *chooser);
};
