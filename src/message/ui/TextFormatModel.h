#pragma once

// What the Format menu and the format bar do, without their widgets: which
// text they act on (the tag text view that has the focus), what is enabled
// there, what the bar shows at the caret, and each command as one change of
// that text, which is one step of its history.
//
// Main thread only.

#include "FormatTarget.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class TextFormatModel : public QObject {
    Q_OBJECT
public:
    struct State {
        // Fonts, sizes, styles, underlining, text colour.
        bool enabled = false;
        bool linksAndLists = false;
        bool backgroundColor = false;
        // At the caret, or at the start of the selection: where a toggle
        // takes its direction from.
        FontDescriptor font;
        bool underline = false;
        std::optional<RgbaColor> color;
        bool link = false;
        // The list item's tag (0 none, 1 to 12); -1 for a list no item makes.
        int listStyle = 0;
        // The paragraph's alignment, as the paragraph style has it.
        int alignment = 4;
        friend bool operator==(const State &, const State &) = default;
    };
    // Where the keyboard focus went: a tag text view (given), a control of
    // the format bar, another control of the same window or sheet, or out
    // of them (a panel, a menu, another window).
    enum class Focus { TextView, FormatControl, OtherControl, Elsewhere };

    explicit TextFormatModel(QObject *parent = nullptr);

    void focusMoved(Focus focus, FormatTarget *view = nullptr);
    // Null when nothing is to be formatted.
    [[nodiscard]] FormatTarget *target() const;
    [[nodiscard]] const State &state() const { return m_state; }
    // The caret, the selection, the text or its form changed.
    void refresh();

    // The view whose background colour the message keeps, how to read the
    // colour and how to change it.
    void setBackgroundHandler(FormatTarget *body, std::function<RgbaColor()> current,
                              std::function<void(const RgbaColor &)> change);
    [[nodiscard]] RgbaColor backgroundColor() const;

    void toggleBold();
    void toggleItalic();
    void underline();
    void bigger();
    void smaller();
    void setFontFamily(const QString &family);
    // Sizes no text can be shown in are refused.
    void setFontSize(double pointSize);
    // The font panel's answer: the font, and underlining where the user
    // changed it there.
    void applyFont(const FontDescriptor &font, std::optional<bool> underline);
    void setTextColor(const RgbaColor &color);
    void setBackgroundColor(const RgbaColor &color);
    void setLink();
    void removeLink();
    void setListStyle(int tag);
    // 0 left, 1 right, 2 centre, 3 justified; others are refused.
    void setAlignment(int alignment);

    // The marker format of a list by its item's tag (1 to 12); empty for
    // any other tag. And back: the tag of a marker format, 0 for none, -1
    // for one no item makes.
    [[nodiscard]] static QString listMarkerFormat(int tag);
    [[nodiscard]] static int listStyleTag(const QString &markerFormat);

signals:
    void stateChanged();
    // A different text is the target (or none): its changes are to be
    // followed with refresh().
    void targetChanged();

private:
    [[nodiscard]] State currentState() const;
    [[nodiscard]] FormatTarget *formattableTarget() const;
    void changeFont(const std::function<void(FontDescriptor &)> &edit);

    FormatTarget *m_target = nullptr;
    QPointer<QObject> m_targetObject;
    QPointer<QObject> m_backgroundObject;
    std::function<RgbaColor()> m_currentBackground;
    std::function<void(const RgbaColor &)> m_changeBackground;
    State m_state;
};
