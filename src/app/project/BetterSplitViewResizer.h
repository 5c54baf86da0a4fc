#pragma once

// Limits of a split view's divider: the first (left) pane stays between a
// minimum and a maximum width, and when the split view is resized only the
// other panes take up the change.

#include <QObject>
#include <QPointer>

class QSplitter;

class BetterSplitViewResizer : public QObject {
    Q_OBJECT
public:
    explicit BetterSplitViewResizer(QObject *parent = nullptr) : QObject(parent) {}

    [[nodiscard]] double minSplitPosition() const { return m_min; }
    [[nodiscard]] double maxSplitPosition() const { return m_max; }
    void setMinSplitPosition(double position);
    void setMaxSplitPosition(double position);

    // The divider position to use for the one proposed.
    [[nodiscard]] double constrainSplitPosition(double proposed) const;
    // Whether a pane changes its width when the split view is resized.
    [[nodiscard]] static bool shouldAdjustSizeOfSubview(int index) { return index != 0; }

    // Applies the limits to the splitter's first pane, now and whenever
    // they change.
    void attach(QSplitter *splitter);

private:
    void apply();

    double m_min = 150.0;
    double m_max = 250.0;
    QPointer<QSplitter> m_splitter;
};
