#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QScrollArea;

// An alert: a title, a text and one "OK" button. Both texts are shown as
// plain text, never as markup, and a long text scrolls instead of pushing
// the button off the screen. Its icon warns, unless it reports a success.
class AlertDialog : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlertDialog)
public:
    enum Icon { Warning, Information };

    AlertDialog(const QString &title, const QString &text, QWidget *parent = nullptr, Icon icon = Warning);

    [[nodiscard]] QString title() const;
    [[nodiscard]] QString text() const;
    [[nodiscard]] QPushButton *okButton() const { return m_okButton; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void fitTextArea();

    QLabel *m_titleLabel;
    QLabel *m_textLabel;
    QScrollArea *m_textArea;
    QPushButton *m_okButton;
};
