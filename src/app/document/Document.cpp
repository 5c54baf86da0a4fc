#include "Document.h"

#include "Localizer.h"

#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QSaveFile>
#include <QUndoStack>

using Localizer::localizedString;

namespace {

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

Document::Document(QObject *parent)
    : QObject(parent), m_undoStack(new QUndoStack(this))
{
    connect(m_undoStack, &QUndoStack::cleanChanged, this, &Document::emitEditedIfChanged);
}

Document::~Document()
{
    delete m_window.data();
}

void Document::setFileName(const QString &path)
{
    if (path == m_fileName)
        return;
    m_fileName = path;
    emit fileNameChanged();
}

QString Document::displayName() const
{
    if (!m_fileName.isEmpty())
        return QFileInfo(m_fileName).fileName();
    const QString untitled = localizedString("Localized-Document", "Untitled");
    return m_untitledNumber > 1 ? QStringLiteral("%1 %2").arg(untitled).arg(m_untitledNumber) : untitled;
}

bool Document::needsSaveAs() const
{
    return !m_fileType.isEmpty() && m_fileType != writableType();
}

bool Document::readFromFile(const QString &path, const QString &type, QString *error)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    // Devices and pipes could feed us without end; only plain files are documents.
    if (!info.exists() || !info.isFile()) {
        setError(error, localizedString("Localized-Document", "DOC_NOT_A_FILE").arg(name));
        return false;
    }
    if (info.size() > MaxFileBytes) {
        setError(error, localizedString("Localized-Document", "DOC_FILE_TOO_LARGE").arg(name));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, localizedString("Localized-Document", "DOC_CANNOT_READ").arg(name, file.errorString()));
        return false;
    }
    // The file may have grown since it was measured.
    const QByteArray data = file.read(MaxFileBytes + 1);
    if (data.size() > MaxFileBytes) {
        setError(error, localizedString("Localized-Document", "DOC_FILE_TOO_LARGE").arg(name));
        return false;
    }
    if (file.error() != QFileDevice::NoError) {
        setError(error, localizedString("Localized-Document", "DOC_CANNOT_READ").arg(name, file.errorString()));
        return false;
    }

    const QString readType = type.isEmpty() ? typeForFile(path, data.left(64)) : type;
    if (!loadDataRepresentation(data, readType)) {
        setError(error, localizedString("Localized-Document", "DOC_NOT_A_PROJECT_FILE").arg(name));
        return false;
    }
    setFileName(path);
    m_fileType = readType;
    // Steps recorded against the old contents would undo into the new ones.
    m_undoStack->clear();
    updateChangeCount(ChangeCleared);
    return true;
}

bool Document::writeToFile(const QString &path, QString *error)
{
    const QString name = QFileInfo(path).fileName();
    if (needsSaveAs() && QFileInfo(path) == QFileInfo(m_fileName)) {
        setError(error, localizedString("Localized-Document", "DOC_OLD_FORM_NEEDS_SAVE_AS").arg(name));
        return false;
    }
    // The save file is renamed over its target at the end, which would put
    // a plain file in place of a pipe or a device.
    if (const QFileInfo target(path); target.exists() && !target.isFile()) {
        setError(error, localizedString("Localized-Document", "DOC_CANNOT_WRITE")
                            .arg(name, localizedString("Localized-Document", "DOC_NOT_A_PLAIN_FILE")));
        return false;
    }
    const QByteArray data = dataRepresentationOfType(writableType());

    // QSaveFile writes beside the file and renames only after a complete
    // write, so a failure or a crash leaves the previous file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        setError(error, localizedString("Localized-Document", "DOC_CANNOT_WRITE").arg(name, reason));
        return false;
    }
    setFileName(path);
    m_fileType = writableType();
    updateChangeCount(ChangeCleared);
    return true;
}

bool Document::revertToSaved(QString *error)
{
    if (m_fileName.isEmpty()) {
        setError(error, localizedString("Localized-Document", "DOC_NEVER_SAVED"));
        return false;
    }
    return readFromFile(m_fileName, m_fileType, error);
}

void Document::updateChangeCount(ChangeKind kind)
{
    switch (kind) {
    case ChangeDone:
        ++m_changeCount;
        break;
    case ChangeUndone:
        --m_changeCount;
        break;
    case ChangeCleared:
        m_changeCount = 0;
        m_undoStack->setClean();
        break;
    }
    emitEditedIfChanged();
}

bool Document::isDocumentEdited() const
{
    return m_changeCount != 0 || !m_undoStack->isClean();
}

void Document::showWindows()
{
    if (!m_window)
        m_window = makeWindow();
    if (!m_window)
        return;
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

bool Document::canClose(QString *) const
{
    return true;
}

void Document::emitEditedIfChanged()
{
    const bool edited = isDocumentEdited();
    if (edited == m_lastEdited)
        return;
    m_lastEdited = edited;
    if (m_window)
        m_window->setWindowModified(edited);
    emit documentEditedChanged(edited);
}
