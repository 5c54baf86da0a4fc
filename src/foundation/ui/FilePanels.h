#pragma once

// The open and save panels, behind one interface that tests replace with
// scripted answers, so no test waits on a dialog.
//
// Main thread only.

#include <QString>
#include <QStringList>

class QWidget;

class FilePanels {
public:
    virtual ~FilePanels() = default;

    // Chosen files (several when allowed) with one of the suffixes (any file
    // for none); empty when cancelled.
    [[nodiscard]] virtual QStringList openFiles(QWidget *parent, const QString &title, const QStringList &suffixes,
                                                bool several) = 0;
    // A path ending in ".suffix"; empty when cancelled.
    [[nodiscard]] virtual QString saveFile(QWidget *parent, const QString &title, const QString &suffix) = 0;
    // An existing folder; empty when cancelled. Qt's folder dialog unless
    // replaced.
    [[nodiscard]] virtual QString chooseFolder(QWidget *parent, const QString &title);

    [[nodiscard]] static FilePanels &current();
    // Not owned; nullptr puts the Qt dialogs back.
    static void setCurrent(FilePanels *panels);
};
