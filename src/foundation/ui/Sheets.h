#pragma once

class QDialog;

// Shows a dialog as a sheet: window-modal on its parent's window when it has
// one, application-modal otherwise. It deletes itself when it closes.
void showAsSheet(QDialog *dialog);
