#include "MyDocument.h"

#include "DatabaseTab.h"
#include "DocAssistant.h"
#include "DocumentWindow.h"
#include "FilesTab.h"
#include "LogTab.h"
#include "MessageTabWidget.h"
#include "PreviewTab.h"
#include "SendMailsUIHandler.h"

#include "RichTextBridge.h"
#include "TagObjectInterface.h"

#include "Attachment.h"
#include "SimpleTag.h"

#include "FileIO.h"
#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"
#include "Localizer.h"
#include "NotificationNames.h"
#include "Settings.h"
#include "TypedUnarchiver.h"

#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>
#include <QTimer>

namespace {

bool isMap(const QVariant &value)
{
    return value.typeId() == QMetaType::QVariantMap;
}

// A part that is missing or of another kind is handed to its tab as none.
std::optional<QVariantMap> partOf(const QVariantMap &root, const QString &key)
{
    const auto it = root.constFind(key);
    if (it == root.constEnd() || !isMap(it.value()))
        return std::nullopt;
    return it.value().toMap();
}

QVariant unarchive(const QByteArray &data)
{
    // Both readers are bounded and refuse malformed input; the magic header
    // decides which one the data is for.
    if (TypedUnarchiver::looksLikeTypedArchive(data))
        return TypedUnarchiver::unarchiveObjectWithData(data);
    return KeyedUnarchiver::unarchiveObjectWithData(data);
}

} // namespace

MyDocument::MyDocument(QObject *parent)
    : Document(parent), m_sendMails(new SendMailsUIHandler(this))
{
    // Tags and attachments come back from archives through their coders.
    registerTagCoders();
    registerAttachmentCoders();
    m_sendMails->setDocument(this);
    connect(m_sendMails, &SendMailsUIHandler::sendingChanged, this, &MyDocument::runActiveChanged);
}

MyDocument::~MyDocument()
{
    m_sendMails->abortAndWait();
    m_messageFieldNamesObservation.reset();
    m_tabFieldNamesObservation.reset();
    m_tabUpdatedObservation.reset();
    m_sendMails->setMessageTab(nullptr);
    m_sendMails->setAttachmentTab(nullptr);
    m_sendMails->setLogTab(nullptr);
    m_sendMails->setDocument(nullptr);
    // The tabs point into the table, the message and the attachment list.
    delete window();
}

DocumentWindow *MyDocument::documentWindow() const
{
    return qobject_cast<DocumentWindow *>(window());
}

DatabaseTab *MyDocument::databaseTab() const { return m_databaseTab; }
MessageTabWidget *MyDocument::messageTabWidget() const { return m_messageTabWidget; }
FilesTab *MyDocument::attachmentTab() const { return m_attachmentTab; }
PreviewTab *MyDocument::previewTab() const { return m_previewTab; }
LogTab *MyDocument::logTab() const { return m_logTab; }
DocAssistant *MyDocument::docAssistant() const { return m_docAssistant; }

QString MyDocument::typeForFile(const QString &, const QByteArray &head) const
{
    if (TypedUnarchiver::looksLikeTypedArchive(head))
        return TypedArchiveType;
    if (head.startsWith("bplist") || head.startsWith("<?xml"))
        return ProjectType;
    return OldType;
}

QString MyDocument::oldFormText(const QByteArray &data)
{
    const qsizetype count = data.size() / 2;
    bool bigEndian = false;
    qsizetype start = 0;
    if (count > 0) {
        const auto b0 = uchar(data.at(0));
        const auto b1 = uchar(data.at(1));
        if (b0 == 0xFE && b1 == 0xFF) {
            bigEndian = true;
            start = 1;
        } else if (b0 == 0xFF && b1 == 0xFE) {
            start = 1;
        }
    }
    QString text(count - start, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = start; i < count; ++i) {
        const auto lo = uchar(data.at(2 * i + (bigEndian ? 1 : 0)));
        const auto hi = uchar(data.at(2 * i + (bigEndian ? 0 : 1)));
        *out++ = QChar(char16_t(hi << 8 | lo));
    }
    return text;
}

std::optional<QVariantMap> MyDocument::projectRoot(const QByteArray &data)
{
    const QVariant root = unarchive(data);
    if (!isMap(root))
        return std::nullopt;
    QVariantMap dict = root.toMap();
    bool anyPart = false;
    for (const QString &key : {DatabaseKey, MessageKey, AttachmentsKey, LogKey}) {
        const auto it = dict.find(key);
        if (it == dict.end())
            continue;
        if (isMap(it.value()))
            anyPart = true;
        else
            dict.erase(it);
    }
    // A dictionary without any part is some other archive.
    if (!anyPart)
        return std::nullopt;
    return dict;
}

bool MyDocument::loadDataRepresentation(const QByteArray &data, const QString &type)
{
    if (type == OldType) {
        const QString text = oldFormText(data);
        if (text.contains(OldFormSectionSeparator)) {
            QStringList sections = text.split(OldFormSectionSeparator);
            // Only the first two are read; the rest need not be kept.
            if (sections.size() > 4)
                sections.resize(4);
            m_fileDataDict.reset();
            m_fileDataArray = std::move(sections);
            if (m_nibLoaded)
                loadFileDataArray();
            return true;
        }
        // Without the separator the file may be an archive after all.
    }

    std::optional<QVariantMap> root = projectRoot(data);
    if (!root)
        return false;
    m_fileDataArray.reset();
    m_fileDataDict = std::move(root);
    m_loadDatabaseOnly = false;
    if (m_nibLoaded)
        loadFileDataArray();
    return true;
}

QByteArray MyDocument::dataRepresentationOfType(const QString &)
{
    if (m_messageTabWidget)
        m_messageTabWidget->commitEdits();
    QVariantMap root;
    root.insert(DatabaseKey, m_databaseTab ? m_databaseTab->archiveData() : m_database.archiveData());
    root.insert(MessageKey, m_messageTab.fileData());
    root.insert(AttachmentsKey,
                m_attachmentTab ? m_attachmentTab->fileData() : FilesTab::fileDataOf(m_attachmentManager));
    root.insert(LogKey, m_logTab ? m_logTab->fileData() : QVariantMap());
    return KeyedArchiver::archivedDataWithRootObject(root);
}

void MyDocument::loadFileDataArray()
{
    if (!m_databaseTab)
        return;
    if (m_fileDataArray) {
        const QStringList &sections = *m_fileDataArray;
        // The text form only adds rows; a revert must not add them twice.
        m_database.setEntryArray(Database::EntryList());
        m_messageTab.readDataString(sections.value(0));
        m_databaseTab->readDataString(sections.value(1));
        if (m_messageTabWidget)
            m_messageTabWidget->showMessage();
    } else if (m_fileDataDict) {
        const QVariantMap &root = *m_fileDataDict;
        m_databaseTab->readFileData(partOf(root, DatabaseKey));
        if (!m_loadDatabaseOnly) {
            if (const std::optional<QVariantMap> message = partOf(root, MessageKey)) {
                m_messageTab.readFileData(*message);
                if (m_messageTabWidget)
                    m_messageTabWidget->showMessage();
            }
            if (m_attachmentTab)
                m_attachmentTab->readFileData(partOf(root, AttachmentsKey));
            if (m_logTab)
                m_logTab->readFileData(partOf(root, LogKey));
        }
    }
    // Applied, the pending data is a second copy of a table that may be
    // large; a revert reads the file again.
    m_fileDataArray.reset();
    m_fileDataDict.reset();
}

bool MyDocument::loadDatabaseFromFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return false;
    const std::optional<QByteArray> data = FileIO::readFileLimited(path, MaxFileBytes);
    if (!data)
        return false;
    // Unreadable content leaves nothing pending: the new document then
    // gets the default fields.
    m_fileDataArray.reset();
    m_fileDataDict = projectRoot(*data);
    m_loadDatabaseOnly = true;
    return true;
}

QMainWindow *MyDocument::makeWindow()
{
    auto *window = new DocumentWindow(this);
    windowControllerDidLoadNib(window);
    return window;
}

void MyDocument::windowControllerDidLoadNib(DocumentWindow *window)
{
    m_nibLoaded = true;
    m_databaseTab = window->databaseTab();
    m_messageTabWidget = window->messageTabWidget();
    m_attachmentTab = window->filesTab();
    m_previewTab = window->previewTab();
    m_logTab = window->logTab();
    m_messageTabWidget->setMessageTab(&m_messageTab);
    m_messageTabWidget->setDatabase(&m_database);
    connect(m_messageTabWidget, &MessageTabWidget::documentEdited, window, &DocumentWindow::documentEdited);

    m_databaseTab->setDocument(this);
    m_databaseTab->setDatabase(&m_database);
    connect(m_databaseTab, &DatabaseTab::documentEdited, window, &DocumentWindow::documentEdited);
    connect(this, &MyDocument::runActiveChanged, m_databaseTab, &DatabaseTab::runStateChanged);
    m_attachmentTab->setAttachmentManager(&m_attachmentManager);
    m_attachmentTab->setDocument(this);

    const bool hadFileData = m_fileDataArray || m_fileDataDict;
    loadFileDataArray();
    if (!hadFileData && m_createDefaultDoc) {
        docAssistantDone();
        // Offered on the window once it shows; its choice refines the defaults just made.
        if (Settings::displayDocAssistant()) {
            QTimer::singleShot(0, window, [this, window] {
                if (window->isVisible())
                    displayDocAssistant(window);
            });
        }
    }

    m_databaseTab->willBeSelected();
    m_previewTab->setDocument(this);

    m_sendMails->setMessageTab(&m_messageTab);
    m_sendMails->setAttachmentTab(m_attachmentTab);
    m_sendMails->setLogTab(m_logTab);

    // Registered only now, so that reading the file and making the default
    // fields reached no observer; the tab was refreshed above instead.
    auto &center = NotificationCenter::defaultCenter();
    m_messageFieldNamesObservation =
        center.addObserver(NotificationNames::DatabaseFieldNamesChanged, &m_database, [this](const Notification &n) {
            m_messageTab.fieldNameChangedNotification(n.userInfo);
        });
    m_tabFieldNamesObservation =
        center.addObserver(NotificationNames::DatabaseFieldNamesChanged, &m_database, [this](const Notification &) {
            if (m_databaseTab)
                m_databaseTab->fieldNameChangedNotification();
        });
    m_tabUpdatedObservation =
        center.addObserver(NotificationNames::DatabaseUpdated, &m_database, [this](const Notification &) {
            if (m_databaseTab)
                m_databaseTab->databaseUpdatedNotification();
        });
}

void MyDocument::docAssistantDone()
{
    if (m_databaseTab)
        m_databaseTab->createAssistantDoc();
    else
        DatabaseTab::createAssistantDoc(m_database);
}

void MyDocument::displayDocAssistant(QWidget *window)
{
    if (!window)
        return;
    window->activateWindow();
    if (!m_docAssistant)
        m_docAssistant = new DocAssistant(window);
    m_docAssistant->displayAssistantForWindow(window, this);
}

void MyDocument::printDocument(QPrinter *printer)
{
    if (m_messageTabWidget)
        m_messageTabWidget->commitEdits();
    TagObjectInterface tags;
    QTextDocument body;
    tags.install(&body);
    RichTextBridge::setDocumentText(&body, m_messageTab.bodyString());
    // Without a page size of its own the text is laid out to the printer's
    // page width and broken into pages; nothing is centred.
    body.print(printer);
}

void MyDocument::printDocumentWithSettings(bool showPrintPanel)
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>();
    if (!showPrintPanel || !window()) {
        printDocument(m_printer.get());
        return;
    }
    auto *dialog = new QPrintDialog(m_printer.get(), window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    QPointer<MyDocument> self(this);
    connect(dialog, &QDialog::accepted, this, [self] {
        if (self)
            self->printDocument(self->m_printer.get());
    });
    dialog->open();
}

bool MyDocument::isRunActive() const
{
    return m_sendMails->isSending();
}

bool MyDocument::canClose(QString *reason) const
{
    // A run still at its password prompt has sent nothing: closing the
    // window takes the prompt back and ends the run.
    if (isRunActive() && !m_sendMails->isSettingUp()) {
        if (reason)
            *reason = Localizer::localizedString("Localized-Document", "DOC_CLOSE_WHILE_SENDING");
        return false;
    }
    return true;
}

void MyDocument::prepareToQuit()
{
    m_sendMails->stopAndWait();
}
