#include "RememberedWindowFrame.h"

#include "UserDefaults.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// A size below this could leave nothing to grab; a size from a broken file
// must not ask for a window of billions of pixels either.
constexpr int MinimumSide = 100;
constexpr int MaximumSide = 100000;

int truncated(double value)
{
    if (!std::isfinite(value))
        return 0;
    return int(std::clamp(std::trunc(value), double(INT_MIN), double(INT_MAX)));
}

int storedInt(const UserDefaults &defaults, const QString &key)
{
    return int(std::clamp<qint64>(defaults.integerForKey(key), INT_MIN / 2, INT_MAX / 2));
}

} // namespace

RememberedWindowFrame::RememberedWindowFrame(UserDefaults &defaults, const QString &prefix, const QString &visibleKey)
    : m_defaults(defaults), m_prefix(prefix), m_visibleKey(visibleKey)
{
}

void RememberedWindowFrame::store(bool visible, const QRectF &frame)
{
    m_defaults.setBool(visible, m_visibleKey);
    if (!visible)
        return;
    m_defaults.setInteger(truncated(frame.width()), widthKey());
    m_defaults.setInteger(truncated(frame.height()), heightKey());
    m_defaults.setInteger(truncated(frame.x()), posxKey());
    m_defaults.setInteger(truncated(frame.y()), posyKey());
}

RememberedWindowFrame::Placement RememberedWindowFrame::placement(const QList<QRect> &availableScreens,
                                                                   bool positionsHonoured) const
{
    Placement result;
    for (const QString &key : {widthKey(), heightKey(), posxKey(), posyKey()}) {
        if (!m_defaults.objectForKey(key).isValid())
            return result;
    }
    const QSize size(std::clamp(storedInt(m_defaults, widthKey()), MinimumSide, MaximumSide),
                     std::clamp(storedInt(m_defaults, heightKey()), MinimumSide, MaximumSide));
    result.frame = QRect(QPoint(storedInt(m_defaults, posxKey()), storedInt(m_defaults, posyKey())), size);
    if (!positionsHonoured) {
        result.kind = Placement::Size;
        return result;
    }
    const bool reachable = std::any_of(availableScreens.cbegin(), availableScreens.cend(),
                                       [&](const QRect &screen) { return screen.intersects(result.frame); });
    if (reachable || availableScreens.isEmpty()) {
        result.kind = Placement::Frame;
        return result;
    }
    const QRect &screen = availableScreens.first();
    const QSize fitting = size.boundedTo(screen.size()).expandedTo(QSize(MinimumSide, MinimumSide));
    result.kind = Placement::Centred;
    result.frame = QRect(QPoint(), fitting);
    result.frame.moveCenter(screen.center());
    return result;
}
