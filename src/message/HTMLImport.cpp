#include "HTMLImport.h"

#include "AttributedTagString.h"
#include "HTMLEncoding.h"
#include "HTMLFileLinkTag.h"

#include "FileIO.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

#include <sys/stat.h>

namespace {

bool isRegularFileWithinBound(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISREG(info.st_mode) && info.st_size <= HTMLImport::MaxReferencedFileBytes;
}

bool hasScheme(const QString &value)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    return scheme.match(value).hasMatch();
}

// A reference the page meant as a file of its own (no address elsewhere, no
// anchor on the page itself).
bool looksLocal(const QString &value)
{
    const QString trimmed = value.trimmed();
    return !trimmed.isEmpty() && !trimmed.startsWith(u'#') && !trimmed.startsWith(QStringLiteral("//"))
           && !hasScheme(trimmed);
}

QString attributeText(const QString &value)
{
    QString escaped = value;
    escaped.replace(u'&', QStringLiteral("&amp;"));
    escaped.replace(u'"', QStringLiteral("&quot;"));
    return u'"' + escaped + u'"';
}

} // namespace

bool HTMLImport::openFile(const QString &path, QString *errorKey)
{
    const auto fail = [errorKey](const char *key) {
        if (errorKey)
            *errorKey = QString::fromLatin1(key);
        return false;
    };
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return fail("Not A Regular File");
    const std::optional<QByteArray> bytes = FileIO::readFileLimited(path, MaxPageBytes);
    if (!bytes)
        return fail("File Too Large");
    setPage(*bytes, QFileInfo(path).absolutePath());
    return true;
}

void HTMLImport::setPage(const QByteArray &bytes, const QString &folder)
{
    m_bytes = bytes;
    m_folder = folder;
    m_detectedEncoding = HTMLEncoding::detect(bytes);
    setEncoding(m_detectedEncoding);
}

bool HTMLImport::setEncoding(quint64 encoding)
{
    m_encoding = encoding;
    m_text = HTMLEncoding::decode(m_bytes, encoding);
    collect();
    return m_text.has_value();
}

void HTMLImport::collect()
{
    m_references.clear();
    m_scan = HTMLScan();
    if (!m_text)
        return;
    m_scan = HTMLReferenceScanner::scan(*m_text);
    QHash<QString, qsizetype> rows;
    for (const HTMLScan::Reference &found : std::as_const(m_scan.references)) {
        // An empty value names nothing to fix.
        if (found.value.trimmed().isEmpty() || rows.contains(found.value))
            continue;
        rows.insert(found.value, m_references.size());
        const QString file = localFileFor(m_folder, found.value);
        m_references.append(file.isNull() ? Reference{found.value, found.value, NotFound}
                                          : Reference{found.value, file, LocalFile});
    }
}

bool HTMLImport::selectFile(int row, const QString &path)
{
    if (row < 0 || row >= m_references.size() || !isRegularFileWithinBound(path))
        return false;
    Reference &reference = m_references[row];
    reference.newRef = QFileInfo(path).absoluteFilePath();
    reference.status = LocalFile;
    return true;
}

void HTMLImport::prependURL(const QList<int> &rows, const QString &base)
{
    QString address = base.trimmed();
    if (!address.contains(QStringLiteral("://")))
        address = QStringLiteral("http://") + address;
    const QUrl baseUrl(address);
    for (const int row : rows) {
        if (row < 0 || row >= m_references.size())
            continue;
        Reference &reference = m_references[row];
        reference.newRef = baseUrl.resolved(QUrl(reference.oldRef)).toString(QUrl::FullyEncoded);
        reference.status = WebAddress;
    }
}

std::optional<HTMLImport::Body> HTMLImport::body() const
{
    if (!m_text || m_scan.status != HTMLScan::Status::Parsed)
        return std::nullopt;
    QHash<QString, const Reference *> byValue;
    for (const Reference &reference : m_references)
        byValue.insert(reference.oldRef, &reference);

    const QString &text = *m_text;
    Body body;
    qsizetype position = 0;
    for (const HTMLScan::Reference &found : m_scan.references) {
        const Reference *reference = byValue.value(found.value);
        if (!reference || reference->status == NotFound)
            continue;
        body.text.appendCharacters(QStringView(text).mid(position, found.spanStart - position), {});
        if (reference->status == LocalFile) {
            RichText replacement(QStringLiteral("\"\""));
            DoInsertTagInAttributedString(std::make_shared<HTMLFileLinkTag>(reference->newRef), replacement, 1);
            body.text.append(replacement);
        } else {
            body.text.appendCharacters(attributeText(reference->newRef), {});
        }
        position = found.spanStart + found.spanLength;
    }
    body.text.appendCharacters(QStringView(text).mid(position), {});
    replaceOldNameTagsInString(body.text);
    body.unreplaced = unreplaced();
    return body;
}

QStringList HTMLImport::unreplaced() const
{
    QStringList values;
    for (const Reference &reference : m_references) {
        if (reference.status == NotFound && looksLocal(reference.oldRef))
            values << reference.oldRef;
    }
    return values;
}

QString HTMLImport::localFileFor(const QString &folder, const QString &value)
{
    if (!looksLocal(value))
        return {};
    QString path = value.trimmed();
    path.truncate(path.indexOf(u'#') < 0 ? path.size() : path.indexOf(u'#'));
    path.truncate(path.indexOf(u'?') < 0 ? path.size() : path.indexOf(u'?'));
    if (path.isEmpty())
        return {};
    // As an address the value is percent-encoded, in UTF-8 or, on older
    // pages, in Latin-1; a file whose name holds a "%" is tried as written.
    QStringList candidates;
    const QByteArray decodedBytes = QByteArray::fromPercentEncoding(path.toUtf8());
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString decoded = utf8.decode(decodedBytes);
    if (utf8.hasError())
        decoded = QString::fromLatin1(decodedBytes);
    candidates << decoded;
    if (decoded != path)
        candidates << path;

    const QString root = QFileInfo(folder).canonicalFilePath();
    if (root.isEmpty())
        return {};
    for (const QString &candidate : std::as_const(candidates)) {
        if (candidate.contains(QChar(0)))
            continue;
        // The real file behind every link and "..": it must still lie below the folder.
        const QString real = QFileInfo(folder + u'/' + candidate).canonicalFilePath();
        if (real.isEmpty() || !(real.startsWith(root + u'/') || (root == u"/" && real.size() > 1)))
            continue;
        if (isRegularFileWithinBound(real))
            return real;
    }
    return {};
}

void HTMLImport::replaceOldNameTagsInString(RichText &text)
{
    static const QString open = QStringLiteral("/#+");
    static const QString close = QStringLiteral("+#/");
    const QString &string = text.string();
    if (string.size() < 7 || !string.contains(open))
        return;
    RichText result;
    qsizetype position = 0;
    for (;;) {
        const qsizetype start = string.indexOf(open, position);
        if (start < 0 || start > string.size() - 7)
            break;
        const qsizetype end = string.indexOf(close, start + 4);
        if (end < 0)
            break;
        result.append(text.attributedSubstring(TextRange{int(position), int(start - position)}));
        DoInsertTagInAttributedString(std::make_shared<SimpleTag>(string.mid(start + 3, end - start - 3)), result,
                                      result.length());
        position = end + 3;
    }
    if (position == 0)
        return;
    result.append(text.attributedSubstring(TextRange{int(position), int(string.size() - position)}));
    text = result;
}
