#include "FilePanels.h"

#include <QFileDialog>

#include <memory>

namespace {

FilePanels *installedPanels = nullptr;

// Window-modal on the parent's window; the dialog goes when it ends, and
// the answer is given once, whichever way it ends.
void runDialog(QFileDialog *dialog, std::function<void(const QStringList &)> done)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto answered = std::make_shared<bool>(false);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done, answered](int result) {
        if (*answered)
            return;
        *answered = true;
        done(result == QDialog::Accepted ? dialog->selectedFiles() : QStringList());
    });
    if (dialog->parentWidget())
        dialog->open();
    else
        dialog->exec();
}

QFileDialog *newDialog(QWidget *parent)
{
    return new QFileDialog(parent ? parent->window() : nullptr);
}

} // namespace

FilePanels &FilePanels::current()
{
    if (installedPanels)
        return *installedPanels;
    static QtFilePanels qtPanels;
    return qtPanels;
}

void FilePanels::setCurrent(FilePanels *panels)
{
    installedPanels = panels;
}

void QtFilePanels::openFiles(QWidget *parent, bool allowMultiple, FilesDone done)
{
    QFileDialog *dialog = newDialog(parent);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(allowMultiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    runDialog(dialog, std::move(done));
}

void QtFilePanels::chooseFolder(QWidget *parent, PathDone done)
{
    QFileDialog *dialog = newDialog(parent);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    runDialog(dialog, [done = std::move(done)](const QStringList &paths) { done(paths.value(0)); });
}

void QtFilePanels::saveFile(QWidget *parent, const QString &suffix, PathDone done)
{
    QFileDialog *dialog = newDialog(parent);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(suffix);
    if (!suffix.isEmpty())
        dialog->setNameFilter(QStringLiteral("*.") + suffix);
    runDialog(dialog, [done = std::move(done)](const QStringList &paths) { done(paths.value(0)); });
}
