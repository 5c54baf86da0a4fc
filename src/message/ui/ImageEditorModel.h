#pragma once

// What the image editor sheet edits, without widgets: an image tag's
// alignment, margin and scaling as the sheet shows them (scaling in whole
// per cent), and which of them the user changed. Only those are stored, so
// a scaling of 0.333 that the user left alone stays 0.333.

#include "ImageTag.h"

#include <memory>

class ImageEditorModel {
public:
    static constexpr int MinScalingPercent = 1;
    static constexpr int MaxScalingPercent = 10000;
    static constexpr int MinMargin = 0;
    static constexpr int MaxMargin = 1000;

    explicit ImageEditorModel(std::shared_ptr<ImageTag> tag);

    [[nodiscard]] int alignment() const { return m_alignment; }
    [[nodiscard]] int margin() const { return m_margin; }
    [[nodiscard]] int scalingPercent() const { return m_scalingPercent; }

    // Values outside the bounds are brought inside them.
    void setAlignment(int alignment);
    void setMargin(int margin);
    void setScalingPercent(int percent);

    // OK: the changed values into the tag. False when nothing changed.
    bool apply();

private:
    std::shared_ptr<ImageTag> m_tag;
    int m_alignment;
    int m_margin;
    int m_scalingPercent;
    bool m_alignmentChanged = false;
    bool m_marginChanged = false;
    bool m_scalingChanged = false;
};
