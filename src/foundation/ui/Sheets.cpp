#include "Sheets.h"

#include <QDialog>

void showAsSheet(QDialog *dialog)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (dialog->parentWidget()) {
        dialog->open();
    } else {
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->show();
    }
}
