#include "DocumentController.h"

#include "Document.h"
#include "ErrorReporter.h"
#include "Localizer.h"
#include "QtDocumentPanels.h"
#include "RecentDocuments.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>

using Localizer::localizedString;

namespace {

// Two names of one file compare equal even through links or "..".
QString comparablePath(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QWidget *windowOf(const Document *document)
{
    return document ? document->window() : nullptr;
}

// A write that fails, also by throwing, leaves the document as it was and
// tells the user why.
bool writeDocument(DocumentPanels &panels, Document *document, const QString &path)
{
    QString error;
    bool written = false;
    try {
        written = document->writeToFile(path, &error);
    } catch (const std::exception &exception) {
        error = ErrorReporter::errorDescription(exception);
    } catch (...) {
        error = ErrorReporter::errorDescription(std::current_exception());
    }
    if (written)
        RecentDocuments::standard().noteDocument(path);
    else
        panels.showError(document->window(), localizedString("Localized-App", "DOC_SAVE_FAILED"), error);
    return written;
}

// Asks about unsaved changes and saves when told to; false when the
// document is to stay open.
bool settleChanges(DocumentController &controller, Document *document)
{
    if (!document->isDocumentEdited())
        return true;
    switch (controller.panels().askSaveChanges(document->window(), document->displayName())) {
    case DocumentPanels::Save:
        return controller.saveDocument(document);
    case DocumentPanels::DontSave:
        return true;
    case DocumentPanels::Cancel:
        break;
    }
    return false;
}

} // namespace

DocumentController &DocumentController::sharedDocumentController()
{
    // Never destroyed: documents may still be referred to while the
    // application object goes away.
    static auto *shared = new DocumentController;
    return *shared;
}

void DocumentController::setPanels(DocumentPanels *panels)
{
    m_panels = panels;
}

DocumentPanels &DocumentController::panels() const
{
    if (m_panels)
        return *m_panels;
    static QtDocumentPanels qtPanels;
    return qtPanels;
}

Document *DocumentController::currentDocument() const
{
    if (const QWidget *active = QApplication::activeWindow()) {
        for (Document *document : m_documents) {
            if (document->window() && document->window() == active->window())
                return document;
        }
    }
    return m_documents.isEmpty() ? nullptr : m_documents.last();
}

Document *DocumentController::addDocument(Document *document)
{
    document->setParent(this);
    m_documents.append(document);
    emit documentAdded(document);
    return document;
}

Document *DocumentController::openUntitledDocument(bool display)
{
    if (!m_factory)
        return nullptr;
    Document *document = m_factory();
    if (!document)
        return nullptr;
    document->setUntitledNumber(++m_untitledCount);
    addDocument(document);
    if (display)
        document->showWindows();
    return document;
}

Document *DocumentController::openDocumentWithContentsOfFile(const QString &path, bool display)
{
    const QString wanted = comparablePath(path);
    for (Document *document : m_documents) {
        if (document->fileName().isEmpty() || comparablePath(document->fileName()) != wanted)
            continue;
        RecentDocuments::standard().noteDocument(path);
        if (display) {
            document->showWindows();
            if (QMainWindow *window = document->window()) {
                window->raise();
                window->activateWindow();
            }
        }
        return document;
    }

    if (!m_factory)
        return nullptr;
    Document *document = m_factory();
    if (!document)
        return nullptr;
    QString error;
    bool read = false;
    try {
        read = document->readFromFile(path, {}, &error);
    } catch (...) {
        // A fault in the reader, not in the file: worth an error report.
        delete document;
        ErrorReporter::reportCurrentException(windowOf(currentDocument()));
        return nullptr;
    }
    if (!read) {
        delete document;
        panels().showError(windowOf(currentDocument()), localizedString("Localized-App", "DOC_OPEN_FAILED"),
                           error);
        return nullptr;
    }
    RecentDocuments::standard().noteDocument(path);
    addDocument(document);
    if (display)
        document->showWindows();
    return document;
}

void DocumentController::openFiles(const QStringList &paths)
{
    for (const QString &path : paths) {
        if (!path.isEmpty())
            openDocumentWithContentsOfFile(path, true);
    }
}

bool DocumentController::newDocument()
{
    return openUntitledDocument(true) != nullptr;
}

bool DocumentController::openDocument()
{
    const QString path = panels().openFile(windowOf(currentDocument()));
    if (path.isEmpty())
        return false;
    return openDocumentWithContentsOfFile(path, true) != nullptr;
}

bool DocumentController::saveDocument(Document *document)
{
    if (!document)
        return false;
    if (document->fileName().isEmpty() || document->needsSaveAs())
        return saveDocumentAs(document);

    return writeDocument(panels(), document, document->fileName());
}

bool DocumentController::saveDocumentAs(Document *document)
{
    if (!document)
        return false;
    const QString oldPath = document->fileName();
    QString suggested;
    if (oldPath.isEmpty()) {
        suggested = QDir::home().filePath(document->displayName() + QLatin1Char('.') + document->fileExtension());
    } else {
        const QFileInfo old(oldPath);
        const QString name = document->needsSaveAs()
                                 ? old.completeBaseName() + QLatin1Char('.') + document->fileExtension()
                                 : old.fileName();
        suggested = old.dir().filePath(name);
    }

    const QString path = panels().saveFile(document->window(), suggested);
    if (path.isEmpty())
        return false;
    return writeDocument(panels(), document, path);
}

bool DocumentController::revertDocument(Document *document)
{
    if (!document || document->fileName().isEmpty())
        return false;
    if (document->isDocumentEdited() && !panels().askRevertChanges(document->window(), document->displayName()))
        return false;
    QString error;
    bool reverted = false;
    try {
        reverted = document->revertToSaved(&error);
    } catch (...) {
        ErrorReporter::reportCurrentException(document->window());
        return false;
    }
    if (!reverted) {
        panels().showError(document->window(), localizedString("Localized-App", "DOC_REVERT_FAILED"), error);
        return false;
    }
    return true;
}

bool DocumentController::mayCloseNow(Document *document)
{
    QString reason;
    if (!document->canClose(&reason)) {
        panels().showError(document->window(), localizedString("Localized-App", "DOC_CANNOT_CLOSE"), reason);
        return false;
    }
    return settleChanges(*this, document);
}

bool DocumentController::closeDocument(Document *document)
{
    if (!document || !m_documents.contains(document))
        return false;
    if (!mayCloseNow(document))
        return false;
    // A run the document let close (one that has sent nothing yet) ends
    // here, before the window goes, not when the document is deleted later.
    if (document->isRunActive())
        document->prepareToQuit();
    removeDocument(document);
    return true;
}

bool DocumentController::reviewUnsavedDocumentsForQuit()
{
    // A run is the user's to stop: every one is asked about before any is
    // touched, so that Continue leaves them all as they were.
    const QList<Document *> documents = m_documents;
    for (Document *document : documents) {
        if (document->isRunActive() && !panels().askStopSendingForQuit(document->window(), document->displayName()))
            return false;
    }
    // Then it stops, and what it did is in the document before the user is
    // asked about saving it, and nothing changes it while the user is asked.
    for (Document *document : documents) {
        if (m_documents.contains(document))
            document->prepareToQuit();
    }

    for (Document *document : documents) {
        if (m_documents.contains(document) && !mayCloseNow(document))
            return false;
    }
    return true;
}

void DocumentController::removeDocument(Document *document)
{
    if (!document || !m_documents.removeAll(document))
        return;
    emit documentRemoved(document);
    document->deleteLater();
}
