#pragma once

// The Format menu: its commands as actions over a TextFormatModel, and what
// gives the model its target. The target is the tag text view that has the
// focus in the anchor's window, or in a sheet of it that holds tag text
// views; there, where the window's menu bar cannot be reached, the
// shortcuts work and the view's context menu offers the Format menu.
//
// Main thread only.

#include <QObject>
#include <QPointer>

#include <functional>

class QAction;
class QDialog;
class QMenu;
class QWidget;
class TextFormatModel;

class FormatActions : public QObject {
    Q_OBJECT
public:
    enum Command {
        Bold,
        Italic,
        Underline,
        Bigger,
        Smaller,
        Fonts,
        Colors,
        Link,
        RemoveLink,
        BackgroundColor,
        AlignLeft,
        AlignCenter,
        AlignJustified,
        AlignRight
    };

    // The anchor's window is the one served; the model is not owned.
    FormatActions(TextFormatModel *model, QWidget *anchor);
    ~FormatActions() override;

    [[nodiscard]] QMenu *menu() const { return m_menu; }
    [[nodiscard]] QMenu *listMenu() const { return m_listMenu; }
    [[nodiscard]] QAction *action(Command command) const;
    // The List menu's item by its tag (0 none, 1 to 12).
    [[nodiscard]] QAction *listAction(int tag) const;

    // The font and colour panels, window-modal over the target's window;
    // what is chosen there goes to the target.
    void chooseFont();
    void chooseTextColor();
    void chooseBackgroundColor();

private:
    void focusChanged(QWidget *now);
    void followTarget();
    void showState();
    [[nodiscard]] QWidget *targetWidget() const;
    void openPanel(QDialog *panel, const std::function<void()> &chosen);

    TextFormatModel *m_model;
    QPointer<QWidget> m_anchor;
    QMenu *m_menu;
    QMenu *m_listMenu;
    QList<QAction *> m_actions;
    QList<QAction *> m_listActions;
    QList<QPointer<QWidget>> m_sheets;
    QList<QMetaObject::Connection> m_targetConnections;
};
