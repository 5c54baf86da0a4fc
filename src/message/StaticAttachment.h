#pragma once

#include "Attachment.h"

// The same file for every message; a file that has gone stops the run.
class StaticAttachment : public Attachment {
public:
    explicit StaticAttachment(const QString &filePath);

    [[nodiscard]] QString infoString() const override;
    [[nodiscard]] AttachmentResolution resolve(const Personalizer *personalizer) const override;
    void setPersonalizer(const Personalizer *personalizer) override;
    [[nodiscard]] QString filePath() const override { return m_filePath; }

    [[nodiscard]] QString archiveClassName() const override { return QStringLiteral("StaticAttachment"); }
    void encodeWithCoder(KeyedArchiver &coder) const override;
    void encodeWithCoder(TypedArchiver &coder) const override;

private:
    QString m_filePath;
};
