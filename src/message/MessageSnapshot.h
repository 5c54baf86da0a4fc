#pragma once

// The message as a send run reads it: an immutable copy taken on the main
// thread (texts with tags of their own, the template held), and the one
// implementation of the per-recipient outputs that the live message tab
// uses as well.

#include "ContentIdNames.h"
#include "MessageTemplate.h"
#include "Personalizer.h"

#include "RichText.h"
#include "TextAttributes.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The message's form; the values are the option items' tags.
enum class MessageMode { Formatted = 1, RawHTML = 2, Plain = 3, Template = 4 };

// The message as the outputs read it. The texts are borrowed and must stay
// unchanged while an output is being made.
struct MessageParts {
    MessageMode mode = MessageMode::Plain;
    // The formatted or plain body; in raw-HTML mode the two parts below.
    const RichText *body = nullptr;
    const RichText *htmlSource = nullptr;
    const RichText *plainPart = nullptr;
    std::optional<RgbaColor> background;
    // The font the body view shows text in that has no font of its own.
    std::optional<FontDescriptor> textFont;
    // Template mode: the template, null when its name names none installed.
    const MessageTemplate *messageTemplate = nullptr;
    // The names of the inline files (inlineAttachments, in that order) in
    // content-id references; null: made from the texts for each output.
    std::shared_ptr<const ContentIdNames> contentIdNames;
};

namespace MessageOutput {

[[nodiscard]] bool htmlPartAvailable(const MessageParts &parts);
// In raw-HTML form without a plain part written, the text a reader of the
// personalised page sees.
[[nodiscard]] QString plainTextStringWithPersonalizer(const MessageParts &parts, const Personalizer &personalizer);
// Null in plain mode. Content-id references name each inline file by its
// name among all of them (ContentIdNames of inlineAttachments), as the
// message's parts do.
[[nodiscard]] QString htmlTextStringWithFullPath(const MessageParts &parts, bool fullPath, const QString &messageID,
                                                 const Personalizer &personalizer);
// The files the HTML part refers to, each once, in the order first met;
// none without an HTML part.
[[nodiscard]] QStringList inlineAttachments(const MessageParts &parts);

} // namespace MessageOutput

class MessageSnapshot {
public:
    // Clones the texts, so that later edits of the originals and their tags
    // leave the snapshot as it is; the template is looked up now.
    MessageSnapshot(MessageMode mode, const RichText &subject, const RichText &body, const RichText &htmlSource,
                    const RichText &plainPart, const std::optional<RgbaColor> &background,
                    const QString &templateName, const std::optional<FontDescriptor> &textFont = std::nullopt);
    Q_DISABLE_COPY_MOVE(MessageSnapshot)

    [[nodiscard]] MessageMode mode() const { return m_mode; }
    [[nodiscard]] const QString &templateName() const { return m_templateName; }
    [[nodiscard]] const MessageTemplateRef &messageTemplate() const { return m_template; }
    [[nodiscard]] const std::optional<RgbaColor> &backgroundColor() const { return m_background; }

    [[nodiscard]] const RichText &subjectString() const { return m_subject; }
    [[nodiscard]] const RichText &bodyString() const { return m_body; }
    [[nodiscard]] bool htmlPartAvailable() const { return MessageOutput::htmlPartAvailable(parts()); }
    [[nodiscard]] QString plainTextStringWithPersonalizer(const Personalizer &personalizer) const;
    [[nodiscard]] QString htmlTextStringWithFullPath(bool fullPath, const QString &messageID,
                                                     const Personalizer &personalizer) const;
    [[nodiscard]] const QStringList &inlineAttachments() const { return m_inlineFiles; }

private:
    [[nodiscard]] MessageParts parts() const;

    MessageMode m_mode;
    RichText m_subject;
    RichText m_body;
    RichText m_htmlSource;
    RichText m_plainPart;
    std::optional<RgbaColor> m_background;
    std::optional<FontDescriptor> m_textFont;
    QString m_templateName;
    MessageTemplateRef m_template;
    QStringList m_inlineFiles;
    std::shared_ptr<const ContentIdNames> m_contentIdNames;
};

using MessageSnapshotRef = std::shared_ptr<const MessageSnapshot>;
