#pragma once

// A small OK/Cancel sheet configured with a target: OK ends the sheet and
// then calls the target once with the sheet, from which the target reads
// the values; Cancel ends it and calls nothing. The sheet deletes itself
// after it has ended.
//
// Main thread only.

#include <QDialog>

#include <functional>

class PanelWindowController : public QDialog {
    Q_OBJECT
public:
    using Target = std::function<void(PanelWindowController &sheet)>;

    explicit PanelWindowController(QWidget *parent = nullptr);

    void setTarget(Target target) { m_target = std::move(target); }
    // Window-modal on the window; returns at once.
    void displayAsSheetForWindow(QWidget *window);

    void okClicked();
    void cancelClicked();

private:
    Target m_target;
};
