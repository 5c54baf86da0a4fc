#pragma once

// The project window: the switch bar over the content of the shown tag
// (the stored tables, or the tables to start mail projects from), with the
// window's Undo and Redo acting on the shown page's own undo stack.
//
// Main thread only.

#include <QMainWindow>

#include <memory>

class DatabaseManager;
class ProjectSubviewManager;
class QUndoGroup;
class UserDefaults;
class ViewSwitchBar;

namespace Ui {
class ProjectWindow;
}

class ProjectWindow : public QMainWindow {
    Q_OBJECT
public:
    ProjectWindow(DatabaseManager &registry, UserDefaults &defaults, QWidget *parent = nullptr);
    ~ProjectWindow() override;

    [[nodiscard]] Ui::ProjectWindow *ui() const { return m_ui.get(); }
    [[nodiscard]] ViewSwitchBar *switchBar() const;
    [[nodiscard]] ProjectSubviewManager *subviewManager() const { return m_subviews; }
    [[nodiscard]] QUndoGroup *undoGroup() const { return m_undoGroup; }

private:
    std::unique_ptr<Ui::ProjectWindow> m_ui;
    QUndoGroup *m_undoGroup;
    ProjectSubviewManager *m_subviews;
};
