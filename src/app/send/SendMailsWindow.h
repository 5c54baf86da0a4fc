#pragma once

// The send sheet: the account, the priority, the target of the run (all
// recipients, a simulated run, or a test table) and blind-copy addresses,
// handed to the run controller at OK. The logic is SendSheetModel's.
//
// Main thread only.

#include "SendSheetModel.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class QComboBox;
class QLineEdit;
class QMenu;
class QPushButton;
class SendMailsUIHandler;

namespace Ui {
class SendMailsPanel;
}

class SendMailsWindow : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SendMailsWindow)
public:
    explicit SendMailsWindow(QWidget *parent = nullptr);
    ~SendMailsWindow() override;

    void setUIHandler(SendMailsUIHandler *handler) { m_uiHandler = handler; }
    // Window-modal on the window; the sheet deletes itself when it ends.
    void displayAsSheetForWindow(QWidget *window);

    void updateControls();
    void updateTestDatabaseList();
    void testlistChanged(int index);
    void okClicked();
    void cancelClicked();

    [[nodiscard]] SendSheetModel &model() { return m_model; }
    [[nodiscard]] QComboBox *accountInput() const;
    [[nodiscard]] QComboBox *priorityInput() const;
    [[nodiscard]] QPushButton *sourceDatabaseButton() const;
    [[nodiscard]] QMenu *sourceDatabaseMenu() const { return m_sourceMenu; }
    [[nodiscard]] QMenu *testDatabaseMenu() const { return m_testMenu; }
    [[nodiscard]] QLineEdit *bccAddressField() const;

private:
    void selectTarget(SendSheetModel::Target target);
    void showTarget();

    std::unique_ptr<Ui::SendMailsPanel> m_ui;
    SendSheetModel m_model;
    QPointer<SendMailsUIHandler> m_uiHandler;
    QMenu *m_sourceMenu;
    QMenu *m_testMenu;
    bool m_ended = false;
};
