#include "DocumentWindow.h"

#include "ui_Document.h"

#include "ApplicationMenus.h"
#include "DatabaseTab.h"
#include "DocumentController.h"
#include "FormatActions.h"
#include "MessageTabWidget.h"
#include "MyDocument.h"
#include "SendMailsUIHandler.h"
#include "UndoRouter.h"

#include "Localizer.h"
#include "MenuText.h"
#include "Settings.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTextEdit>

#include <algorithm>
#include <climits>

namespace {

using Localizer::localizedString;

// The text of a view the user edits, with its own history; null for any
// other widget and for text that is only read.
QTextDocument *editedText(QWidget *widget)
{
    if (const auto *view = qobject_cast<QTextEdit *>(widget))
        return !view->isReadOnly() && view->isUndoRedoEnabled() ? view->document() : nullptr;
    if (const auto *view = qobject_cast<QPlainTextEdit *>(widget))
        return !view->isReadOnly() && view->isUndoRedoEnabled() ? view->document() : nullptr;
    return nullptr;
}

int storedInt(const UserDefaults &defaults, const QString &key)
{
    return int(std::clamp<qint64>(defaults.integerForKey(key), INT_MIN, INT_MAX));
}

} // namespace

DocumentWindow::DocumentWindow(MyDocument *document, QWidget *parent)
    : QMainWindow(parent), m_ui(std::make_unique<Ui::DocumentWindow>()), m_document(document)
{
    m_ui->setupUi(this);
    m_tabDelegate = new MainTabDelegate(m_ui->tabView);
    for (TabItem *item : std::initializer_list<TabItem *>{m_ui->databaseTab, m_ui->messageTab, m_ui->filesTab,
                                                          m_ui->previewTab, m_ui->logTab}) {
        m_tabDelegate->setItemForPage(dynamic_cast<QWidget *>(item), item);
    }
    m_ui->sendButton->setEnabled(document && document->sendUIHandler()->canInitiateSend());
    if (document) {
        connect(document->sendUIHandler(), &SendMailsUIHandler::sendingChanged, this,
                [this](bool sending) { m_ui->sendButton->setEnabled(!sending); });
    }
    connect(m_ui->sendButton, &QPushButton::clicked, this, &DocumentWindow::sendButtonClicked);
    connectMenus();
    if (document) {
        connect(document, &Document::fileNameChanged, this, &DocumentWindow::updateTitle);
        connect(document, &Document::fileNameChanged, this, &DocumentWindow::updateRevertItem);
        connect(document, &Document::documentEditedChanged, this, &DocumentWindow::updateRevertItem);
    }
    updateTitle();
    updateRevertItem();
    applyRememberedSize();
}

DocumentWindow::~DocumentWindow() = default;

QTabWidget *DocumentWindow::tabView() const { return m_ui->tabView; }
DatabaseTab *DocumentWindow::databaseTab() const { return m_ui->databaseTab; }
MessageTabWidget *DocumentWindow::messageTabWidget() const { return m_ui->messageTab; }
FilesTab *DocumentWindow::filesTab() const { return m_ui->filesTab; }
PreviewTab *DocumentWindow::previewTab() const { return m_ui->previewTab; }
LogTab *DocumentWindow::logTab() const { return m_ui->logTab; }
QPushButton *DocumentWindow::sendButton() const { return m_ui->sendButton; }

void DocumentWindow::connectMenus()
{
    auto &controller = DocumentController::sharedDocumentController();
    connect(m_ui->actionSave, &QAction::triggered, this, [this, &controller] { controller.saveDocument(m_document); });
    connect(m_ui->actionSaveAs, &QAction::triggered, this,
            [this, &controller] { controller.saveDocumentAs(m_document); });
    connect(m_ui->actionRevert, &QAction::triggered, this,
            [this, &controller] { controller.revertDocument(m_document); });
    connect(m_ui->actionPrint, &QAction::triggered, this, [this] {
        if (m_document)
            m_document->printDocumentWithSettings(true);
    });
    ApplicationMenus::fillFileMenu(m_ui->menuFile, this);
    ApplicationMenus::fillEditMenu(m_ui->menuEdit, this);
    ApplicationMenus::fillWindowMenu(m_ui->menuWindow);
    menuBar()->insertMenu(m_ui->menuWindow->menuAction(), m_ui->messageTab->formatActions()->menu());
    if (!m_document)
        return;
    m_undoRouter = std::make_unique<UndoRouter>(m_document->undoManager());
    UndoRouter *router = m_undoRouter.get();
    router->setDocumentLocked([document = m_document] { return document && document->isRunActive(); });
    connect(m_ui->actionUndo, &QAction::triggered, router, &UndoRouter::undo);
    connect(m_ui->actionRedo, &QAction::triggered, router, &UndoRouter::redo);
    // The user sees what Ctrl+Z will do before pressing it: typing is no
    // step of the document's, so it is not always the last thing done.
    const auto updateUndoItems = [this, router, plainUndo = m_ui->actionUndo->text(),
                                  plainRedo = m_ui->actionRedo->text()] {
        const QString undoStep = router->undoText();
        const QString redoStep = router->redoText();
        m_ui->actionUndo->setText(undoStep.isEmpty() ? plainUndo
                                                     : localizedString("Localized-App", "UNDO_STEP")
                                                           .arg(literalMenuText(undoStep)));
        m_ui->actionRedo->setText(redoStep.isEmpty() ? plainRedo
                                                     : localizedString("Localized-App", "REDO_STEP")
                                                           .arg(literalMenuText(redoStep)));
        m_ui->actionUndo->setEnabled(router->canUndo());
        m_ui->actionRedo->setEnabled(router->canRedo());
    };
    connect(router, &UndoRouter::changed, this, updateUndoItems);
    // A send run starts and ends without a word to the window.
    connect(m_ui->menuEdit, &QMenu::aboutToShow, this, updateUndoItems);
    m_ui->menuEdit->addSeparator();
    m_ui->menuEdit->addActions(m_ui->databaseTab->editActions());
    menuBar()->insertMenu(m_ui->menuWindow->menuAction(), m_ui->databaseTab->recipientsMenu());
    // Focus that leaves the window keeps the history it had here.
    connect(qApp, &QApplication::focusChanged, router, [this, router](QWidget *, QWidget *now) {
        if (now && now->window() == this)
            router->setText(editedText(now));
    });
    QWidget *focused = QApplication::focusWidget();
    router->setText(focused && focused->window() == this ? editedText(focused) : nullptr);
    updateUndoItems();
}

void DocumentWindow::updateRevertItem()
{
    m_ui->actionRevert->setEnabled(m_document && !m_document->fileName().isEmpty() && m_document->isDocumentEdited());
}

void DocumentWindow::updateTitle()
{
    setWindowTitle(m_document ? m_document->displayName() + QStringLiteral("[*]") : QString());
}

void DocumentWindow::documentEdited()
{
    if (m_document)
        m_document->updateChangeCount(Document::ChangeDone);
}

void DocumentWindow::sendButtonClicked()
{
    if (m_document)
        m_document->sendUIHandler()->initiateSend();
}

QSize DocumentWindow::clampedSize(const QSize &stored, const QSize &minimum, const QSize &available)
{
    const auto fit = [](int value, int low, int high) {
        if (high > 0) {
            low = std::min(low, high);
            value = std::min(value, high);
        }
        return std::max({value, low, 1});
    };
    return {fit(stored.width(), minimum.width(), available.width()),
            fit(stored.height(), minimum.height(), available.height())};
}

void DocumentWindow::applyRememberedSize()
{
    const UserDefaults &defaults = UserDefaults::standardUserDefaults();
    if (defaults.boolForKey(SettingsKeys::RememberLastWindowSize)
        && defaults.objectForKey(WindowSizeKeys::LastWindowWidth).isValid()
        && defaults.objectForKey(WindowSizeKeys::LastWindowHeight).isValid()) {
        const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        const QSize available = screen ? screen->availableGeometry().size() : QSize();
        const QSize stored(storedInt(defaults, WindowSizeKeys::LastWindowWidth),
                           storedInt(defaults, WindowSizeKeys::LastWindowHeight));
        resize(clampedSize(stored, minimumSize(), available));
    }
    m_storesResizes = true;
}

void DocumentWindow::windowDidResize()
{
    UserDefaults &defaults = UserDefaults::standardUserDefaults();
    defaults.setInteger(width(), WindowSizeKeys::LastWindowWidth);
    defaults.setInteger(height(), WindowSizeKeys::LastWindowHeight);
}

void DocumentWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    // Showing the window reports its size as well, without an old one; that is no resize.
    if (m_storesResizes && event->oldSize().isValid() && event->oldSize() != event->size())
        windowDidResize();
}

void DocumentWindow::closeEvent(QCloseEvent *event)
{
    // The controller may close the window itself once the document goes,
    // and a document no longer open has nothing left to ask.
    DocumentController &controller = DocumentController::sharedDocumentController();
    if (m_closing || !m_document || !controller.documents().contains(m_document)) {
        event->accept();
        return;
    }
    const QScopedValueRollback guard(m_closing, true);
    if (controller.closeDocument(m_document))
        event->accept();
    else
        event->ignore();
}
