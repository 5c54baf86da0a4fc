#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class QLineEdit;
class QPushButton;

namespace Ui {
class LinkSheet;
}

// The sheet that asks for a link's address. Window-modal on its parent's
// window, deleted when it closes. OK hands the text to the handler, which
// decides whether the sheet ends (it may keep it open, with an alert).
class LinkSheet : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkSheet)
public:
    using OkHandler = std::function<void()>;

    explicit LinkSheet(QWidget *parent, OkHandler okClicked);
    ~LinkSheet() override;

    [[nodiscard]] QLineEdit *textLinkURL() const;
    [[nodiscard]] QPushButton *okButton() const;
    [[nodiscard]] QPushButton *cancelButton() const;

    // Closes the sheet as taken.
    void end();

    void accept() override;

private:
    std::unique_ptr<Ui::LinkSheet> m_ui;
    OkHandler m_okClicked;
};
