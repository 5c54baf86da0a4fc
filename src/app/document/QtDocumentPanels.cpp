#include "QtDocumentPanels.h"

#include "AlertPresenter.h"
#include "Localizer.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

using Localizer::localizedString;

QString QtDocumentPanels::nameFilter()
{
    return localizedString("Localized-App", "PROJECT_FILE_FILTER") + QStringLiteral(" (*.quorv2);;")
           + localizedString("Localized-App", "ALL_FILES_FILTER") + QStringLiteral(" (*)");
}

QString QtDocumentPanels::openFile(QWidget *parent)
{
    return QFileDialog::getOpenFileName(parent, localizedString("Localized-App", "OPEN_PANEL_TITLE"), {},
                                        nameFilter());
}

QString QtDocumentPanels::saveFile(QWidget *parent, const QString &suggestedPath)
{
    QFileDialog dialog(parent, localizedString("Localized-App", "SAVE_PANEL_TITLE"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(nameFilter());
    dialog.setDefaultSuffix(QStringLiteral("quorv2"));
    if (!suggestedPath.isEmpty()) {
        const QFileInfo suggested(suggestedPath);
        dialog.setDirectory(suggested.absolutePath());
        dialog.selectFile(suggested.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

DocumentPanels::SaveChoice QtDocumentPanels::askSaveChanges(QWidget *parent, const QString &documentName)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setText(localizedString("Localized-App", "SAVE_CHANGES_QUESTION").arg(documentName));
    box.setInformativeText(localizedString("Localized-App", "SAVE_CHANGES_INFO"));
    box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        return Save;
    case QMessageBox::Discard:
        return DontSave;
    default:
        return Cancel;
    }
}

bool QtDocumentPanels::askRevertChanges(QWidget *parent, const QString &documentName)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setTextFormat(Qt::PlainText);
    box.setText(localizedString("Localized-App", "REVERT_QUESTION").arg(documentName));
    box.setInformativeText(localizedString("Localized-App", "REVERT_INFO"));
    QPushButton *revert =
        box.addButton(localizedString("Localized-App", "REVERT_BUTTON"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    // The changes are not lost to a pressed Return or Escape.
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == revert;
}

bool QtDocumentPanels::askStopSendingForQuit(QWidget *parent, const QString &documentName)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    // The name is the user's: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(localizedString("Localized-App", "QUIT_WHILE_SENDING_QUESTION").arg(documentName));
    QPushButton *stop = box.addButton(localizedString("Localized-App", "QUIT_WHILE_SENDING_STOP"),
                                      QMessageBox::DestructiveRole);
    QPushButton *goOn = box.addButton(localizedString("Localized-App", "QUIT_WHILE_SENDING_CONTINUE"),
                                      QMessageBox::RejectRole);
    // A run is not cut short by a pressed Return or Escape.
    box.setDefaultButton(goOn);
    box.setEscapeButton(goOn);
    box.exec();
    return box.clickedButton() == stop;
}

void QtDocumentPanels::showError(QWidget *parent, const QString &title, const QString &text)
{
    if (parent)
        AlertPresenter::current().beginAlertSheet(title, text, parent);
    else
        AlertPresenter::current().runAlertPanel(title, text);
}
