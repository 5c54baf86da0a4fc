#pragma once

// The progress sheet of a send run: the count of messages done, a bar for
// the run and one for the message being written, and the cancel button
// (first press: stop after the current message; second: cut it). Escape
// and the window's close button press the cancel button: only the run
// controller closes the sheet.
//
// Main thread only.

#include "SendProgressModel.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class SendMailsUIHandler;

namespace Ui {
class SendMailsProgress;
}

class SendMailsProgressWindow : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SendMailsProgressWindow)
public:
    explicit SendMailsProgressWindow(QWidget *parent = nullptr);
    ~SendMailsProgressWindow() override;

    void setUiHandler(SendMailsUIHandler *handler) { m_uiHandler = handler; }
    // Stored; shown by updateDisplay.
    void setMessageCount(int count) { m_model.setMessageCount(count); }
    void setCurrentMessage(int current) { m_model.setCurrentMessage(current); }
    void setMessageCompletition(double completion) { m_model.setMessageCompletition(completion); }
    void setIndeterminate(bool indeterminate) { m_model.setIndeterminate(indeterminate); }
    void updateDisplay();

    void setCancelButtonText(const QString &text);
    // Disabling also makes the message bar show no share.
    void setCancelEnabled(bool enabled);
    void cancelClicked();

    // Window-modal on the window; the sheet deletes itself when closed.
    void displayAsSheetForWindow(QWidget *window);
    // Ends the sheet.
    void closeSheet();

    [[nodiscard]] QLabel *mailsSentField() const;
    [[nodiscard]] QProgressBar *totalProgress() const;
    [[nodiscard]] QProgressBar *mailProgress() const;
    [[nodiscard]] QPushButton *cancelButton() const;

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    std::unique_ptr<Ui::SendMailsProgress> m_ui;
    SendProgressModel m_model;
    QPointer<SendMailsUIHandler> m_uiHandler;
    bool m_closing = false;
};
