#pragma once

// The message tab's page: the subject and body views of the document's
// message, and the editing around them: field and special tags, the four
// forms of the message, the condition, picture, template and HTML import
// sheets, and the text import.
//
// The message shows in the views whenever it changes; while the user
// edits, the views hold the text, and commitEdits() hands it back before
// the message is saved, printed or sent. A change of form or an import is
// one step of the body's own undo history, so Ctrl+Z in the body takes it
// back with its text.
//
// Main thread only.

#include "MainTabDelegate.h"

#include "MessageTab.h"
#include "SimpleTag.h"

#include "NotificationCenter.h"

#include <QPointer>
#include <QWidget>

class BodyTextView;
class ConditionEditor;
class FormatActions;
class FormatBar;
class Database;
class HTMLConverter;
class ImageEditor;
class QAction;
class QActionGroup;
class QMenu;
class QPushButton;
class QToolButton;
class SingleLineTextView;
class TagTextView;
class TemplateSelector;
class TextFormatModel;

class MessageTabWidget : public QWidget, public TabItem, public TagDelegate {
    Q_OBJECT
public:
    // A tag and the attributes it had, for taking a change of form back.
    using TagLooks = QList<QPair<SimpleTagRef, std::optional<TextAttributes>>>;

    explicit MessageTabWidget(QWidget *parent = nullptr);
    ~MessageTabWidget() override;

    // Not owned; must outlive the widget or be reset with nullptr.
    void setMessageTab(MessageTab *messageTab);
    [[nodiscard]] MessageTab *messageTab() const { return m_messageTab; }
    // The table whose fields the menus offer; not owned, may be null.
    void setDatabase(const Database *database) { m_database = database; }
    [[nodiscard]] SingleLineTextView *subjectView() const { return m_subjectView; }
    [[nodiscard]] BodyTextView *bodyView() const { return m_bodyView; }

    // The controls: the field and special pull-downs, the options pop-up
    // (actions by tag 1 to 4), the import menu, the two raw-HTML buttons.
    [[nodiscard]] QToolButton *fieldMenuButton() const { return m_fieldButton; }
    [[nodiscard]] QToolButton *specialMenuButton() const { return m_specialButton; }
    [[nodiscard]] QToolButton *optionsMenuButton() const { return m_optionsButton; }
    [[nodiscard]] QToolButton *importMenuButton() const { return m_importButton; }
    [[nodiscard]] QPushButton *htmlModeButton() const { return m_htmlModeButton; }
    [[nodiscard]] QPushButton *plainModeButton() const { return m_plainModeButton; }
    [[nodiscard]] QAction *optionAction(int tag) const;
    // The special pull-down's item at the index (1 to 5); null for others.
    [[nodiscard]] QAction *specialAction(int index) const;
    // The Format menu and the format bar over the message's texts and the
    // sheets opened from here.
    [[nodiscard]] TextFormatModel *formatModel() const { return m_formatModel; }
    [[nodiscard]] FormatActions *formatActions() const { return m_formatActions; }
    [[nodiscard]] FormatBar *formatBar() const { return m_formatBar; }
    // Where tags go: the text view that last had the focus.
    [[nodiscard]] TagTextView *activeView() const;
    // The sheets while they are shown.
    [[nodiscard]] ConditionEditor *conditionEditor() const;
    [[nodiscard]] ImageEditor *imageEditor() const;
    [[nodiscard]] TemplateSelector *templateSelector() const;
    [[nodiscard]] HTMLConverter *htmlConverter() const;

    // The views follow every edit of the message's texts, but not a change
    // of its form: after reading a message, show it again whole.
    void showMessage();
    // The user's edits into the message.
    void commitEdits();
    // Rebuilds the field pull-down.
    void willBeSelected() override;

    // Actions.
    void setOption(int tag);
    void enableRawHTMLMode();
    void modeButtonClicked(int tag);
    void insertField(const QString &name);
    void insertSpecialField(int index);
    void showConditionWindow(const std::shared_ptr<ConditionTag> &tag);
    void showImageTagWindow();
    void showHTMLFileLinkTagWindow();
    void insertMessageNumberTag();
    void showTemplateSelectorWindow();
    void templateSelectorChosenTemplateName(const QString &name);
    void importHTML();
    void importHTMLFile(const QString &path);
    // The import sheet's body: the HTML source of a raw-HTML message.
    void importAttributedString(const RichText &html);
    void importText();
    // One step of the body's history.
    void setBodyBackgroundColor(const RgbaColor &color);
    // Appends the file's text to the body; false (with an alert) when it
    // cannot be read.
    bool importTextFile(const QString &path);

    bool editConditionTag(ConditionTag *tag) override;
    bool editImageTag(ImageTag *tag) override;

    // The undo and redo of a change of form: the message and the controls
    // take the form, the tags their looks. The body's text is the history's.
    void restoreForm(const MessageForm &form, const TagLooks &looks);

signals:
    // The user changed the subject or the body.
    void documentEdited();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void showSubject();
    void showBody();
    void viewEdited(bool subject);
    void applyFormChange(const MessageTab::FormChange &change);
    void updateFormControls();
    void showBackground();
    void insertTag(const SimpleTagRef &tag);
    [[nodiscard]] SimpleTagRef sharedTag(const SimpleTag *tag) const;
    [[nodiscard]] static TagLooks tagLooks(const RichText &text);

    MessageTab *m_messageTab = nullptr;
    const Database *m_database = nullptr;
    SingleLineTextView *m_subjectView;
    BodyTextView *m_bodyView;
    QPointer<TagTextView> m_lastFocusedView;
    QToolButton *m_fieldButton = nullptr;
    QToolButton *m_specialButton = nullptr;
    QToolButton *m_optionsButton = nullptr;
    QToolButton *m_importButton = nullptr;
    QPushButton *m_htmlModeButton = nullptr;
    QPushButton *m_plainModeButton = nullptr;
    QMenu *m_fieldMenu = nullptr;
    QActionGroup *m_options = nullptr;
    QList<QAction *> m_specialActions;
    QPointer<ConditionEditor> m_conditionEditor;
    QPointer<ImageEditor> m_imageEditor;
    QPointer<TemplateSelector> m_templateSelector;
    QPointer<HTMLConverter> m_htmlConverter;
    TextFormatModel *m_formatModel = nullptr;
    FormatActions *m_formatActions = nullptr;
    FormatBar *m_formatBar = nullptr;
    bool m_showing = false;
    bool m_subjectEdited = false;
    bool m_bodyEdited = false;
    NotificationCenter::Observation m_scalingObservation;
};
