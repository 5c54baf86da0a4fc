#pragma once

#include "SimpleTag.h"

#include <QImage>

// A picture in the HTML part: no value of its own, an img element in HTML,
// and its file embedded as an inline part.
class ImageTag : public SimpleTag {
public:
    enum Alignment : qint32 { AlignNone = 0, AlignLeft = 1, AlignRight = 2, AlignCenter = 3 };
    // Scaling factors outside (0, MaxScaling] or not finite are taken as 1.0.
    static constexpr float MaxScaling = 100.0f;
    // Notification posted, with no sender, when the scaling changes.
    static inline const QString UpdateScalingNotification = QStringLiteral("ImageTag_updateScaling");

    // Loads the picture (only from a regular file) and takes its pixel size;
    // an unreadable file leaves no picture and a size of 0 x 0.
    explicit ImageTag(const QString &path);

    [[nodiscard]] std::shared_ptr<AttachmentCell> clone() const override;
    [[nodiscard]] QString attachmentFile() const override { return m_imagePath; }
    [[nodiscard]] RichText getValueForData(const DatabaseEntry *entry, const QMap<QString, QString> *mapping,
                                           const MessageData *messageData) const override;
    void tagNameChanged(const QString &, const QString &, TagRenames * = nullptr) override {}
    [[nodiscard]] QString getHTMLCodeWithAbsolutePath(bool absolutePath, const QString &messageID,
                                                      const ContentIdNames *contentIdNames = nullptr) const override;

    [[nodiscard]] QRectF cellFrame(QSizeF nameSize) const override;
    [[nodiscard]] bool wantsToTrackMouse() const override { return true; }
    bool trackMouse() override;

    [[nodiscard]] const QString &imagePath() const { return m_imagePath; }
    [[nodiscard]] qint32 alignment() const { return m_align; }
    void setAlignment(qint32 alignment) { m_align = alignment; }
    [[nodiscard]] qint32 margin() const { return m_margin; }
    void setMargin(qint32 margin) { m_margin = margin; }
    [[nodiscard]] float scaling() const { return m_scaling; }
    void setScaling(float scaling);
    [[nodiscard]] qint32 imageWidth() const { return m_imageWidth; }
    [[nodiscard]] qint32 imageHeight() const { return m_imageHeight; }
    // The picture for drawing; null when it could not be read.
    [[nodiscard]] const QImage &image() const { return m_image; }

    [[nodiscard]] QString archiveClassName() const override { return QStringLiteral("ImageTag"); }
    void encodeWithCoder(TypedArchiver &coder) const override;

private:
    friend void registerTagCoders();
    ImageTag(); // for the decoder
    static CodableRef decode(TypedUnarchiver &coder, int classVersion);
    void loadImage(bool takeSize);

    QString m_imagePath;
    qint32 m_align = AlignNone;
    qint32 m_margin = 0;
    qint32 m_imageWidth = 0;
    qint32 m_imageHeight = 0;
    float m_scaling = 1.0f;
    QImage m_image;
};
