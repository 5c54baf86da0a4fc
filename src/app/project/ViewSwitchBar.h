#pragma once

// The bar at the top of the project window: switch buttons that act as one
// radio group, each naming a content by its tag, drawn on a grey gradient
// with a black line above and below.

#include <QWidget>

class QAbstractButton;
class QButtonGroup;

class ViewSwitchBar : public QWidget {
    Q_OBJECT
public:
    explicit ViewSwitchBar(QWidget *parent = nullptr);

    // The button becomes checkable and part of the group; pressing it
    // switches to the tag's content.
    void addSwitchButton(QAbstractButton *button, int tag);
    [[nodiscard]] QAbstractButton *button(int tag) const;
    // Presses the tag's button as the user would.
    void switchView(int tag);

signals:
    void switchRequested(int tag);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QButtonGroup *m_buttons;
};
