#pragma once

// The window of a mail project document: its five tabs (the log last), the
// send button, the menus, and the size it had when last resized.
//
// Main thread only.

#include <QMainWindow>
#include <QPointer>

#include <memory>

class DatabaseTab;
class FilesTab;
class LogTab;
class MainTabDelegate;
class MessageTabWidget;
class MyDocument;
class PreviewTab;
class QPushButton;
class QTabWidget;
class UndoRouter;

namespace Ui {
class DocumentWindow;
}

// User defaults of the remembered window size; never renamed.
namespace WindowSizeKeys {
inline const QString LastWindowWidth = QStringLiteral("last_window_width");
inline const QString LastWindowHeight = QStringLiteral("last_window_height");
} // namespace WindowSizeKeys

class DocumentWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit DocumentWindow(MyDocument *document, QWidget *parent = nullptr);
    ~DocumentWindow() override;

    [[nodiscard]] MyDocument *document() const { return m_document; }
    [[nodiscard]] QTabWidget *tabView() const;
    [[nodiscard]] DatabaseTab *databaseTab() const;
    [[nodiscard]] MessageTabWidget *messageTabWidget() const;
    [[nodiscard]] FilesTab *filesTab() const;
    [[nodiscard]] PreviewTab *previewTab() const;
    [[nodiscard]] LogTab *logTab() const;
    [[nodiscard]] QPushButton *sendButton() const;

    // Every user edit of the document ends here.
    void documentEdited();
    void sendButtonClicked();
    // Stores the size for the next window, whether or not it is to be remembered.
    void windowDidResize();

    // A stored size made to fit: nothing below the minimum (a size of 0
    // would leave no window to grab), nothing beyond the available screen.
    [[nodiscard]] static QSize clampedSize(const QSize &stored, const QSize &minimum, const QSize &available);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void applyRememberedSize();
    void connectMenus();
    void updateTitle();
    // Revert reads the document's file: there is none before the first save,
    // and with no unsaved changes there is nothing to revert.
    void updateRevertItem();

    std::unique_ptr<Ui::DocumentWindow> m_ui;
    QPointer<MyDocument> m_document;
    MainTabDelegate *m_tabDelegate;
    // Gone before the views and menu items it follows.
    std::unique_ptr<UndoRouter> m_undoRouter;
    bool m_storesResizes = false;
    bool m_closing = false;
};
