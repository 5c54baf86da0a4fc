#include "BetterSplitViewResizer.h"

#include <QSplitter>

#include <algorithm>
#include <cmath>

void BetterSplitViewResizer::setMinSplitPosition(double position)
{
    m_min = position;
    apply();
}

void BetterSplitViewResizer::setMaxSplitPosition(double position)
{
    m_max = position;
    apply();
}

double BetterSplitViewResizer::constrainSplitPosition(double proposed) const
{
    if (proposed > m_max)
        return m_max;
    return std::max(proposed, m_min);
}

void BetterSplitViewResizer::attach(QSplitter *splitter)
{
    m_splitter = splitter;
    apply();
}

void BetterSplitViewResizer::apply()
{
    if (!m_splitter || m_splitter->count() == 0)
        return;
    // Qt's splitter keeps a pane within its minimum and maximum width while
    // the divider is dragged and the window resized.
    QWidget *first = m_splitter->widget(0);
    first->setMinimumWidth(int(std::ceil(m_min)));
    first->setMaximumWidth(int(std::floor(std::max(m_min, m_max))));
    m_splitter->setChildrenCollapsible(false);
    for (int i = 0; i < m_splitter->count(); ++i)
        m_splitter->setStretchFactor(i, shouldAdjustSizeOfSubview(i) ? 1 : 0);
}
