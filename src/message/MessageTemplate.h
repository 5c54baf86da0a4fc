#pragma once

// An HTML design a message is placed into: a folder with an "index.html"
// split at "[[[message]]]", and the files it refers to. Read once when
// made and never changed afterwards, so a template may be shared read-only
// between the message, a send run's worker and the registry.

#include "HTMLTranslator.h"

#include "RichText.h"

#include <QImage>
#include <QStringList>

#include <memory>

class MessageTemplate : public HTMLTranslatorDelegate {
public:
    static inline const QString MessageMarker = QStringLiteral("[[[message]]]");
    static inline const QString IndexFileName = QStringLiteral("index.html");

    explicit MessageTemplate(const QString &path);

    [[nodiscard]] const QString &dataDirPath() const { return m_dataDirPath; }
    [[nodiscard]] QString name() const;
    [[nodiscard]] const RichText &startString() const { return m_startString; }
    [[nodiscard]] const RichText &endString() const { return m_endString; }

    // start + text + end.
    [[nodiscard]] RichText applyToString(const RichText &text) const;
    // The files the template's text refers to, start first.
    [[nodiscard]] QStringList inlineAttachments() const;
    // Whether the template is one the application carries.
    [[nodiscard]] bool inBundle() const;
    // "preview.jpg" in the folder, else the application's "no_preview.jpg".
    [[nodiscard]] QImage previewImage() const;
    // The file previewImage() reads.
    [[nodiscard]] QString previewImagePath() const;

    // Decodes a template's text: by its byte-order mark, else as UTF-8 when
    // it is valid UTF-8, else as Windows-1252.
    [[nodiscard]] static QString decodeText(const QByteArray &bytes);

    void htmlTranslatorHandleTagAttribute(HTMLTranslator &translator, const QVariantMap &attribute) override;

private:
    void readTemplate();

    QString m_dataDirPath;
    RichText m_startString;
    RichText m_endString;
};

using MessageTemplateRef = std::shared_ptr<const MessageTemplate>;
