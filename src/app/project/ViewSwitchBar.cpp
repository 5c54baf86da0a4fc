#include "ViewSwitchBar.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLinearGradient>
#include <QPainter>

ViewSwitchBar::ViewSwitchBar(QWidget *parent) : QWidget(parent), m_buttons(new QButtonGroup(this))
{
    m_buttons->setExclusive(true);
    connect(m_buttons, &QButtonGroup::idClicked, this, &ViewSwitchBar::switchRequested);
}

void ViewSwitchBar::addSwitchButton(QAbstractButton *button, int tag)
{
    button->setCheckable(true);
    m_buttons->addButton(button, tag);
}

QAbstractButton *ViewSwitchBar::button(int tag) const
{
    return m_buttons->button(tag);
}

void ViewSwitchBar::switchView(int tag)
{
    if (QAbstractButton *pressed = button(tag))
        pressed->click();
}

void ViewSwitchBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // Widened past the sides, so that of the black frame only the top and
    // bottom lines show.
    const QRectF area = QRectF(rect()).adjusted(-3, 0.5, 3, -0.5);
    QLinearGradient gradient(area.bottomLeft(), area.topLeft());
    gradient.setColorAt(0, QColor::fromRgbF(0.7f, 0.7f, 0.7f));
    gradient.setColorAt(1, QColor::fromRgbF(0.9f, 0.9f, 0.9f));
    painter.fillRect(area, gradient);
    painter.setPen(QPen(Qt::black, 1.0));
    painter.drawRect(area);
}
