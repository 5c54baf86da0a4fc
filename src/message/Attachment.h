#pragma once

// A file attached to every message of a project: fixed (StaticAttachment)
// or chosen per recipient (SmartAttachment). Resolving an attachment for a
// recipient is a const operation that returns the file and the decision, so
// a send run's worker and the preview may resolve the same object at once.

#include "Codable.h"

#include <QString>

#include <memory>

class Personalizer;

struct AttachmentResolution {
    enum class Decision {
        Attach,         // attach filePath
        AbortSending,   // the whole run stops
        SkipMessage,    // this recipient gets no message
        SkipAttachment, // this message goes without the attachment
    };
    Decision decision = Decision::Attach;
    QString filePath;
};

class Attachment : public Codable {
public:
    ~Attachment() override = default;

    // What the attachments tab lists.
    [[nodiscard]] virtual QString infoString() const { return {}; }
    // The file and decision for one recipient (the personaliser set to the
    // recipient's row); a null personaliser resolves without field values.
    // Throws AppException (invalid argument) when the personaliser's row is
    // not in its table: the caller decides whether that ends the run.
    [[nodiscard]] virtual AttachmentResolution resolve(const Personalizer *personalizer) const;

    // The older, stateful form the attachment editor and the preview use:
    // resolve for a recipient, then ask the decisions and the file. Throws
    // as resolve does and then keeps no earlier recipient's answer. Before
    // any resolution the decisions are those for no recipient.
    virtual void setPersonalizer(const Personalizer *personalizer);
    [[nodiscard]] virtual QString filePath() const { return m_resolved.filePath; }
    [[nodiscard]] bool shouldAbortSending() const;
    [[nodiscard]] bool shouldSkipMessage() const;
    [[nodiscard]] bool shouldSkipAttachment() const;

protected:
    // A readable regular file (links followed): all that may be attached.
    [[nodiscard]] static bool isUsableFile(const QString &path);
    [[nodiscard]] AttachmentResolution currentResolution() const;

    AttachmentResolution m_resolved;
    bool m_hasResolved = false;
};

using AttachmentRef = std::shared_ptr<Attachment>;

// Registers the archive decoders of both attachment kinds (keyed and typed). Idempotent.
void registerAttachmentCoders();
