#include "ImageEditorModel.h"

#include <algorithm>
#include <cmath>

ImageEditorModel::ImageEditorModel(std::shared_ptr<ImageTag> tag)
    : m_tag(std::move(tag))
    , m_alignment(std::clamp<int>(m_tag->alignment(), ImageTag::AlignNone, ImageTag::AlignCenter))
    , m_margin(std::clamp<int>(m_tag->margin(), MinMargin, MaxMargin))
    // Shown truncated, as the tag's factor times 100 (0.333 shows 33).
    , m_scalingPercent(std::clamp(int(std::trunc(double(m_tag->scaling()) * 100.0)), MinScalingPercent,
                                  MaxScalingPercent))
{
}

void ImageEditorModel::setAlignment(int alignment)
{
    alignment = std::clamp<int>(alignment, ImageTag::AlignNone, ImageTag::AlignCenter);
    m_alignmentChanged = m_alignmentChanged || alignment != m_alignment;
    m_alignment = alignment;
}

void ImageEditorModel::setMargin(int margin)
{
    margin = std::clamp(margin, MinMargin, MaxMargin);
    m_marginChanged = m_marginChanged || margin != m_margin;
    m_margin = margin;
}

void ImageEditorModel::setScalingPercent(int percent)
{
    percent = std::clamp(percent, MinScalingPercent, MaxScalingPercent);
    m_scalingChanged = m_scalingChanged || percent != m_scalingPercent;
    m_scalingPercent = percent;
}

bool ImageEditorModel::apply()
{
    if (m_alignmentChanged)
        m_tag->setAlignment(m_alignment);
    if (m_marginChanged)
        m_tag->setMargin(m_margin);
    // Last: it tells the body to lay itself out again.
    if (m_scalingChanged)
        m_tag->setScaling(float(m_scalingPercent) / 100.0f);
    return m_alignmentChanged || m_marginChanged || m_scalingChanged;
}
