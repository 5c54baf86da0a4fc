#include "SendMailsProgressWindow.h"

#include "ui_SendMailsProgress.h"

#include "SendMailsUIHandler.h"

#include "ApplicationMenus.h"

#include "Localizer.h"

#include <QCloseEvent>

SendMailsProgressWindow::SendMailsProgressWindow(QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SendMailsProgress>())
{
    m_ui->setupUi(this);
    // The sheet blocks its window's menus for the whole run.
    ApplicationMenus::furnishSheet(this);
    m_ui->mailsSentField->setTextFormat(Qt::PlainText);
    m_ui->mailsSentField->clear();
    m_ui->totalProgress->setRange(0, 1);
    m_ui->totalProgress->setValue(0);
    m_ui->mailProgress->setRange(0, SendProgressModel::MessageBarMaximum);
    m_ui->mailProgress->setValue(0);
    m_ui->cancelButton->setEnabled(true);
    m_ui->cancelButton->setText(Localizer::localizedString("Localized", "SEND_CANCEL_BUTTON_1"));
    // Return must not cancel a run.
    m_ui->cancelButton->setAutoDefault(false);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &SendMailsProgressWindow::cancelClicked);
}

SendMailsProgressWindow::~SendMailsProgressWindow() = default;

QLabel *SendMailsProgressWindow::mailsSentField() const { return m_ui->mailsSentField; }
QProgressBar *SendMailsProgressWindow::totalProgress() const { return m_ui->totalProgress; }
QProgressBar *SendMailsProgressWindow::mailProgress() const { return m_ui->mailProgress; }
QPushButton *SendMailsProgressWindow::cancelButton() const { return m_ui->cancelButton; }

void SendMailsProgressWindow::updateDisplay()
{
    // Plain setters: each asks for a repaint in the next pass of the event
    // loop, which the worker waiting for its report does not hold up.
    const SendProgressModel::Display display = m_model.display();
    m_ui->totalProgress->setRange(0, display.totalMaximum);
    m_ui->totalProgress->setValue(display.totalValue);
    m_ui->mailsSentField->setText(display.countText);
    m_ui->mailProgress->setRange(0, display.messageMaximum);
    m_ui->mailProgress->setValue(display.messageValue);
}

void SendMailsProgressWindow::setCancelButtonText(const QString &text)
{
    m_ui->cancelButton->setText(text);
}

void SendMailsProgressWindow::setCancelEnabled(bool enabled)
{
    m_ui->cancelButton->setEnabled(enabled);
    m_model.setIndeterminate(true);
    updateDisplay();
}

void SendMailsProgressWindow::cancelClicked()
{
    if (m_uiHandler && m_ui->cancelButton->isEnabled())
        m_uiHandler->abortSend();
}

void SendMailsProgressWindow::displayAsSheetForWindow(QWidget *window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    if (window) {
        setParent(window->window(), windowFlags());
        setWindowModality(Qt::WindowModal);
    }
    show();
}

void SendMailsProgressWindow::closeSheet()
{
    m_closing = true;
    close();
}

void SendMailsProgressWindow::reject()
{
    if (m_closing)
        QDialog::reject();
    else
        cancelClicked();
}

void SendMailsProgressWindow::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    cancelClicked();
}
