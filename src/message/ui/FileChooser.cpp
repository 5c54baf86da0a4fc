#include "FileChooser.h"

#include <QFileDialog>
#include <QPointer>

namespace {

class DialogChooser final : public FileChooser {
public:
    void chooseFile(QWidget *parent, const QString &title, const QStringList &nameFilters, Done done) override
    {
        auto *dialog = new QFileDialog(parent, title);
        dialog->setFileMode(QFileDialog::ExistingFile);
        if (!nameFilters.isEmpty())
            dialog->setNameFilters(nameFilters);
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
            const QStringList files = dialog->selectedFiles();
            done(result == QDialog::Accepted && !files.isEmpty() ? files.first() : QString());
        });
        dialog->open();
    }
};

FileChooser *installed = nullptr;

} // namespace

FileChooser &FileChooser::current()
{
    static DialogChooser dialogs;
    return installed ? *installed : dialogs;
}

void FileChooser::setCurrent(FileChooser *chooser)
{
    installed = chooser;
}
