#include "PanelWindowController.h"

#include "ActionGuard.h"

#include <QPointer>

PanelWindowController::PanelWindowController(QWidget *parent) : QDialog(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
}

void PanelWindowController::displayAsSheetForWindow(QWidget *window)
{
    if (window && parentWidget() != window) {
        setParent(window, windowFlags());
        setWindowModality(Qt::WindowModal);
    }
    open();
}

void PanelWindowController::okClicked()
{
    // Taken first: ending the sheet schedules its deletion.
    const Target target = std::move(m_target);
    m_target = nullptr;
    QWidget *window = parentWidget();
    done(Accepted);
    if (target)
        ActionGuard::run([&] { target(*this); }, window);
}

void PanelWindowController::cancelClicked()
{
    m_target = nullptr;
    done(Rejected);
}
