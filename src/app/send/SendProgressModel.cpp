#include "SendProgressModel.h"

#include <algorithm>
#include <cmath>

SendProgressModel::Display SendProgressModel::display() const
{
    Display display;
    display.countText = QStringLiteral("%1 / %2").arg(QString::number(m_currentMessage), QString::number(m_messageCount));
    // A range of 0..0 is Qt's busy bar: a run of no messages shows an empty
    // bar instead.
    display.totalMaximum = std::max(m_messageCount, 1);
    display.totalValue = std::clamp(m_currentMessage, 0, display.totalMaximum);
    if (m_indeterminate) {
        display.messageMaximum = 0;
        display.messageValue = 0;
    } else {
        const double share = std::isfinite(m_messageCompletition) ? std::clamp(m_messageCompletition, 0.0, 1.0) : 0.0;
        display.messageValue = int(std::lround(share * MessageBarMaximum));
    }
    return display;
}
