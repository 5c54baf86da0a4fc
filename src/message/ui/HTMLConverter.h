#pragma once

// The HTML import sheet: window-modal on its parent's window, deleted when
// it closes. It shows an HTMLImport (encoding, references, what the page
// would run or load), lets the user point references at files or at a web
// address, and on OK hands the body to `imported`; a page that does not
// decode in the chosen encoding keeps the sheet open with an alert.

#include "HTMLImport.h"
#include "HTMLReferenceModel.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class HTMLConverter;
}

class HTMLConverter : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HTMLConverter)
public:
    HTMLConverter(QWidget *parent, HTMLImport import, std::function<void(const RichText &body)> imported);
    ~HTMLConverter() override;

    [[nodiscard]] HTMLImport &import() { return m_import; }

    void displayAsSheet();
    void selectFile();
    void prependURL();
    // The base address's sheet answered with this text.
    void prependURL_okClicked(const QString &base);
    void accept() override;

private:
    void encodingChosen(int index);
    void refresh();
    [[nodiscard]] QList<int> selectedRows() const;

    std::unique_ptr<Ui::HTMLConverter> m_ui;
    HTMLImport m_import;
    HTMLReferenceModel *m_model;
    std::function<void(const RichText &)> m_imported;
};
