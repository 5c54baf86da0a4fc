#pragma once

// A window's frame and visibility kept in the user defaults between runs:
// "<prefix>_width", "_height", "_posx", "_posy" (integers, truncated toward
// zero; the position is Qt's top left) and a visibility key. The frame is
// written only while the window is visible, so closing the window keeps the
// frame of its last visible quit.
//
// A remembered frame is applied only when it meets the available area of a
// screen: after a monitor was removed the window would otherwise open where
// it can no longer be reached, and is centred instead. Where the windowing
// system ignores positions (Wayland) only the size is applied.

#include <QList>
#include <QRect>
#include <QRectF>
#include <QString>

class UserDefaults;

class RememberedWindowFrame {
public:
    RememberedWindowFrame(UserDefaults &defaults, const QString &prefix, const QString &visibleKey);

    [[nodiscard]] QString widthKey() const { return m_prefix + QStringLiteral("_width"); }
    [[nodiscard]] QString heightKey() const { return m_prefix + QStringLiteral("_height"); }
    [[nodiscard]] QString posxKey() const { return m_prefix + QStringLiteral("_posx"); }
    [[nodiscard]] QString posyKey() const { return m_prefix + QStringLiteral("_posy"); }
    [[nodiscard]] const QString &visibleKey() const { return m_visibleKey; }

    // At quit: the visibility always, the frame only when visible.
    void store(bool visible, const QRectF &frame);

    struct Placement {
        enum Kind {
            Keep,       // nothing remembered: the window keeps its own frame
            Frame,      // the remembered frame as it is
            Size,       // the remembered size only, where positions are ignored
            Centred,    // the remembered size (made to fit) centred on a screen
        };
        Kind kind = Keep;
        QRect frame;
    };
    // Screens are given by their available areas, the primary one first.
    [[nodiscard]] Placement placement(const QList<QRect> &availableScreens, bool positionsHonoured) const;

private:
    UserDefaults &m_defaults;
    QString m_prefix;
    QString m_visibleKey;
};
