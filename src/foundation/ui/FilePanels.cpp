#include "FilePanels.h"

#include "Localizer.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {

class QtFilePanels : public FilePanels {
public:
    QStringList openFiles(QWidget *parent, const QString &title, const QStringList &suffixes, bool several) override
    {
        QString filter;
        if (!suffixes.isEmpty()) {
            QStringList patterns;
            for (const QString &suffix : suffixes)
                patterns << QStringLiteral("*.") + suffix;
            filter = patterns.join(u' ') + QStringLiteral(";;");
        }
        filter += Localizer::localizedString("Localized-App", "ALL_FILES_FILTER") + QStringLiteral(" (*)");
        if (several)
            return QFileDialog::getOpenFileNames(parent, title, {}, filter);
        const QString path = QFileDialog::getOpenFileName(parent, title, {}, filter);
        return path.isEmpty() ? QStringList() : QStringList{path};
    }

    QString saveFile(QWidget *parent, const QString &title, const QString &suffix) override
    {
        QFileDialog dialog(parent, title);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(QStringLiteral("*.") + suffix);
        dialog.setDefaultSuffix(suffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        QString path = dialog.selectedFiles().constFirst();
        if (QFileInfo(path).suffix() != suffix)
            path += QStringLiteral(".") + suffix;
        return path;
    }
};

FilePanels *g_panels = nullptr;

} // namespace

QString FilePanels::chooseFolder(QWidget *parent, const QString &title)
{
    return QFileDialog::getExistingDirectory(parent, title);
}

FilePanels &FilePanels::current()
{
    static QtFilePanels qtPanels;
    return g_panels ? *g_panels : qtPanels;
}

void FilePanels::setCurrent(FilePanels *panels)
{
    g_panels = panels;
}
