#pragma once

#include "Attachment.h"

#include "RichText.h"

// A file per recipient: a tagged file name filled in from the recipient's
// row and looked up under a root folder, with a rule for a missing file.
class SmartAttachment : public Attachment {
public:
    enum NotFoundAction : qint32 {
        AbortRun = 0,
        SkipMessage = 1,
        SkipAttachment = 2, // also what any unknown value means
        UseDefaultFile = 3,
    };

    SmartAttachment() = default;

    [[nodiscard]] QString infoString() const override;
    // The name is normalised and must stay below the root folder (links
    // followed), and only a readable regular file counts as found. Action 3
    // with a default file that is not one aborts the run. Throws as
    // Attachment::resolve.
    [[nodiscard]] AttachmentResolution resolve(const Personalizer *personalizer) const override;
    // A null string until the first setPersonalizer.
    [[nodiscard]] QString filePath() const override { return m_hasResolved ? m_staticFileName : QString(); }
    void setPersonalizer(const Personalizer *personalizer) override;
    // Whether the path resolved last is a file that goes out; false before any.
    [[nodiscard]] bool fileExists() const;

    [[nodiscard]] const QString &rootFilePath() const { return m_rootFilePath; }
    void setRootFilePath(const QString &path) { m_rootFilePath = path; }
    [[nodiscard]] const RichText &fileName() const { return m_fileName; }
    void setFileName(const RichText &name) { m_fileName = name; }
    [[nodiscard]] const QString &defaultFilePath() const { return m_defaultFilePath; }
    void setDefaultFilePath(const QString &path) { m_defaultFilePath = path; }
    [[nodiscard]] qint32 notFoundAction() const { return m_notFoundHandling; }
    void setNotFoundAction(qint32 action) { m_notFoundHandling = action; }

    [[nodiscard]] QString archiveClassName() const override { return QStringLiteral("SmartAttachment"); }
    void encodeWithCoder(KeyedArchiver &coder) const override;
    void encodeWithCoder(TypedArchiver &coder) const override;

private:
    // The path when it names a usable file below the root, links resolved; else null.
    [[nodiscard]] static QString usableFileBelowRoot(const QString &path, const QString &root);
    [[nodiscard]] QVariantMap archiveFields() const;

    QString m_rootFilePath;
    RichText m_fileName;
    QString m_staticFileName;
    QString m_defaultFilePath = QStringLiteral("");
    qint32 m_notFoundHandling = SkipAttachment;
};
