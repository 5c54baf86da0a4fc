#include "MessageTemplate.h"

#include "AttributedTagString.h"
#include "HTMLFileLinkTag.h"

#include "AppPaths.h"
#include "BetterString.h"
#include "FileIO.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <mutex>
#include <optional>

namespace {

// Templates come from anywhere the user picked a folder: their files must
// not decide how much we allocate.
constexpr qint64 MaxTemplateTextBytes = 16 * 1024 * 1024;
constexpr qint64 MaxImageBytes = 16 * 1024 * 1024;

const QString PreviewFileName = QStringLiteral("preview.jpg");

QString absoluteCleanPath(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool isInside(const QString &path, const QString &folder)
{
    return path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

// The file a template refers to by a relative path, when that path stays in
// the template's folder, also after following symbolic links, and names a
// regular file: a template must not be able to send the user's other files
// along with a message. Null otherwise.
QString containedRegularFile(const QString &folder, const QString &relative)
{
    if (relative.isEmpty() || relative.startsWith(u'/'))
        return {};
    const QString cleanFolder = absoluteCleanPath(folder);
    const QString candidate = QDir::cleanPath(cleanFolder + u'/' + relative);
    if (!isInside(candidate, cleanFolder))
        return {};
    // The path as written is what must exist: "logo.png/" names no file.
    const QFileInfo info(cleanFolder + u'/' + relative);
    if (!info.isFile())
        return {};
    const QString canonicalFolder = QFileInfo(cleanFolder).canonicalFilePath();
    if (canonicalFolder.isEmpty() || !isInside(info.canonicalFilePath(), canonicalFolder))
        return {};
    return candidate;
}

std::optional<QByteArray> readRegularFile(const QString &path, qint64 maxBytes)
{
    // A FIFO or device would block or never end.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return FileIO::readFileLimited(path, maxBytes);
}

// The named-image cache: pictures decoded once, then found by their path.
// Previews are asked for from any thread.
QImage cachedImage(const QString &path)
{
    static std::mutex mutex;
    static QHash<QString, QImage> images;
    {
        const std::lock_guard lock(mutex);
        const auto found = images.constFind(path);
        if (found != images.constEnd())
            return *found;
    }
    const auto bytes = readRegularFile(path, MaxImageBytes);
    if (!bytes)
        return {};
    const QImage image = QImage::fromData(*bytes);
    if (image.isNull())
        return {};
    const std::lock_guard lock(mutex);
    images.insert(path, image);
    return image;
}

// Windows-1252 where it differs from Latin-1. Its five undefined bytes
// keep their Latin-1 code points, as most decoders do.
constexpr char16_t Windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString decodeWindows1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        *out++ = QChar(value >= 0x80 && value < 0xA0 ? Windows1252High[value - 0x80] : char16_t(value));
    }
    return text;
}

QString decodeWith(QStringConverter::Encoding encoding, const QByteArray &bytes)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

} // namespace

MessageTemplate::MessageTemplate(const QString &path)
    : m_dataDirPath(path)
{
    readTemplate();
}

QString MessageTemplate::name() const
{
    return BetterString::lastPathComponent(m_dataDirPath);
}

RichText MessageTemplate::applyToString(const RichText &text) const
{
    RichText result = m_startString;
    result.append(text);
    result.append(m_endString);
    return result;
}

QStringList MessageTemplate::inlineAttachments() const
{
    return AttributedTagString::inlineFileAttachments(m_startString)
           + AttributedTagString::inlineFileAttachments(m_endString);
}

bool MessageTemplate::inBundle() const
{
    return isInside(absoluteCleanPath(m_dataDirPath), absoluteCleanPath(AppPaths::resourcesPath()));
}

QImage MessageTemplate::previewImage() const
{
    const QString preview = containedRegularFile(m_dataDirPath, PreviewFileName);
    if (!preview.isNull()) {
        const QImage image = cachedImage(preview);
        if (!image.isNull())
            return image;
    }
    return cachedImage(AppPaths::resourcesPath() + QStringLiteral("/images/no_preview.jpg"));
}

QString MessageTemplate::previewImagePath() const
{
    const QString preview = containedRegularFile(m_dataDirPath, PreviewFileName);
    return preview.isNull() ? AppPaths::resourcesPath() + QStringLiteral("/images/no_preview.jpg") : preview;
}

QString MessageTemplate::decodeText(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decodeWith(QStringConverter::Utf8, bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE"))
        return decodeWith(QStringConverter::Utf16LE, bytes.mid(2));
    if (bytes.startsWith("\xFE\xFF"))
        return decodeWith(QStringConverter::Utf16BE, bytes.mid(2));
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return decodeWindows1252(bytes);
}

void MessageTemplate::readTemplate()
{
    m_startString = RichText();
    m_endString = RichText();
    const QString indexPath = containedRegularFile(m_dataDirPath, IndexFileName);
    if (indexPath.isNull())
        return;
    const auto bytes = readRegularFile(indexPath, MaxTemplateTextBytes);
    if (!bytes)
        return;
    const QString text = decodeText(*bytes);

    // Without a marker the whole page comes before the message.
    QString start = text;
    QString end;
    const qsizetype marker = text.indexOf(MessageMarker);
    if (marker >= 0) {
        start = text.left(marker);
        const qsizetype after = marker + MessageMarker.size();
        const qsizetype next = text.indexOf(MessageMarker, after);
        end = next < 0 ? text.mid(after) : text.mid(after, next - after);
    }

    HTMLTranslator startTranslator;
    startTranslator.setDelegate(this);
    m_startString = startTranslator.parseHTMLString(start);
    HTMLTranslator endTranslator;
    endTranslator.setDelegate(this);
    m_endString = endTranslator.parseHTMLString(end);
}

void MessageTemplate::htmlTranslatorHandleTagAttribute(HTMLTranslator &translator, const QVariantMap &attribute)
{
    const QString name = attribute.value(QStringLiteral("name")).toString();
    if (!attribute.contains(QStringLiteral("value")))
        return;
    if (name.compare(u"src", Qt::CaseInsensitive) != 0 && name.compare(u"href", Qt::CaseInsensitive) != 0
        && name.compare(u"background", Qt::CaseInsensitive) != 0)
        return;
    const QString value = attribute.value(QStringLiteral("value")).toString();
    // The replacement is rebuilt from name and value alone, so a word holding
    // more than that ('src="a.png"/', a value cut at a second "=") would lose
    // characters: such words stay as they are.
    const QString word = translator.replacementString().string();
    if (word != name + u'=' + value && word != name + QStringLiteral("=\"") + value + u'"'
        && word != name + QStringLiteral("='") + value + u'\'')
        return;
    const QString file = containedRegularFile(m_dataDirPath, value);
    if (file.isNull())
        return;
    RichText replacement(name + QStringLiteral("=\""));
    DoInsertTagInAttributedString(std::make_shared<HTMLFileLinkTag>(file), replacement, replacement.length());
    replacement.append(RichText(QStringLiteral("\"")));
    translator.setReplacementString(replacement);
}
