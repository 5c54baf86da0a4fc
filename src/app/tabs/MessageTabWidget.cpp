#include "MessageTabWidget.h"

#include "MessageFormUndoItem.h"

#include "BodyTextView.h"
#include "ConditionEditor.h"
#include "FileChooser.h"
#include "FormatActions.h"
#include "FormatBar.h"
#include "FunctionUndoItem.h"
#include "HTMLConverter.h"
#include "HTMLEncoding.h"
#include "ImageEditor.h"
#include "RichTextBridge.h"
#include "SingleLineTextView.h"
#include "TemplateSelector.h"
#include "TextFormatModel.h"

#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "HTMLFileLinkTag.h"
#include "HTMLImport.h"
#include "ImageTag.h"
#include "MessageNumberTag.h"

#include "ActionGuard.h"
#include "Alerts.h"
#include "Database.h"
#include "FileIO.h"
#include "Localizer.h"
#include "MenuText.h"

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr RgbaColor White{1.0f, 1.0f, 1.0f, 1.0f};

// A text file appended to the body is text, not a page: bounded like one.
constexpr qint64 MaxTextFileBytes = 20LL * 1024 * 1024;

} // namespace

MessageTabWidget::MessageTabWidget(QWidget *parent)
    : QWidget(parent), m_subjectView(new SingleLineTextView(this)), m_bodyView(new BodyTextView(this))
{
    auto *layout = new QVBoxLayout(this);
    auto *subjectRow = new QFormLayout;
    subjectRow->addRow(new QLabel(Localizer::localizedString("Localized-Document", "Subject:"), this), m_subjectView);
    m_subjectView->setFixedHeight(m_subjectView->fontMetrics().height() * 2);
    layout->addLayout(subjectRow);
    buildControls();
    m_formatModel = new TextFormatModel(this);
    m_formatActions = new FormatActions(m_formatModel, this);
    m_formatBar = new FormatBar(m_formatActions, m_formatModel, this);
    layout->addWidget(m_formatBar);
    layout->addWidget(m_bodyView, 1);
    m_formatModel->setBackgroundHandler(
        m_bodyView,
        [this] { return m_messageTab ? m_messageTab->backgroundColor().value_or(White) : White; },
        [this](const RgbaColor &color) { setBodyBackgroundColor(color); });
    // The text's own menu offers Format too, as it does in the sheets.
    m_subjectView->setFormatMenu(m_formatActions->menu());
    m_bodyView->setFormatMenu(m_formatActions->menu());
    m_subjectView->useTagTextStorage();
    m_bodyView->useTagTextStorage();
    m_subjectView->setDelegate(this);
    m_bodyView->setDelegate(this);
    m_lastFocusedView = m_bodyView;
    m_subjectView->installEventFilter(this);
    m_bodyView->installEventFilter(this);
    connect(m_subjectView, &QTextEdit::textChanged, this, [this] { viewEdited(true); });
    connect(m_bodyView, &QTextEdit::textChanged, this, [this] { viewEdited(false); });
    connect(m_bodyView, &BodyTextView::documentEdited, this, &MessageTabWidget::documentEdited);
    m_scalingObservation = NotificationCenter::defaultCenter().addObserver(
        ImageTag::UpdateScalingNotification, nullptr, [this](const Notification &) { m_bodyView->updateBodyViewLayout(); });
    updateFormControls();
}

MessageTabWidget::~MessageTabWidget()
{
    m_scalingObservation.reset();
    setMessageTab(nullptr);
}

void MessageTabWidget::buildControls()
{
    auto *row = new QHBoxLayout;
    // Pull-downs take no focus: the tag goes where the caret was.
    const auto toolButton = [this, row](const QString &title) {
        auto *button = new QToolButton(this);
        button->setText(title);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setFocusPolicy(Qt::NoFocus);
        button->setMenu(new QMenu(button));
        row->addWidget(button);
        return button;
    };

    m_fieldButton = toolButton(Localizer::localizedString("Localized", "FIELD_PULLDOWN_TITLE"));
    m_fieldMenu = m_fieldButton->menu();
    connect(m_fieldMenu, &QMenu::aboutToShow, this, &MessageTabWidget::willBeSelected);

    m_specialButton = toolButton(Localizer::localizedString("Localized-MessageEditor", "Special Tags"));
    // Item 4 is no tag: a separator, as in the menu the indexes come from.
    const QString specialTitles[] = {
        Localizer::localizedString("Localized-MessageEditor", "Insert Condition"),
        Localizer::localizedString("Localized-MessageEditor", "Insert Image"),
        Localizer::localizedString("Localized-MessageEditor", "Insert Message Number"),
        QString(),
        Localizer::localizedString("Localized-MessageEditor", "Insert File Link"),
    };
    for (int index = 1; index <= 5; ++index) {
        const QString &title = specialTitles[index - 1];
        QAction *action = !title.isNull() ? m_specialButton->menu()->addAction(title)
                                          : m_specialButton->menu()->addSeparator();
        connect(action, &QAction::triggered, this, [this, index] { insertSpecialField(index); });
        m_specialActions << action;
    }

    m_optionsButton = toolButton(QString());
    m_options = new QActionGroup(this);
    const QString optionTitles[] = {
        Localizer::localizedString("Localized-MessageEditor", "Formatted Text"),
        Localizer::localizedString("Localized-MessageEditor", "Raw HTML"),
        Localizer::localizedString("Localized-MessageEditor", "Plain Text"),
        Localizer::localizedString("Localized-MessageEditor", "Template..."),
    };
    for (int tag = 1; tag <= 4; ++tag) {
        QAction *action = m_optionsButton->menu()->addAction(optionTitles[tag - 1]);
        action->setCheckable(true);
        action->setData(tag);
        m_options->addAction(action);
        connect(action, &QAction::triggered, this, [this, tag] { setOption(tag); });
    }

    m_htmlModeButton = new QPushButton(Localizer::localizedString("Localized-MessageEditor", "HTML Source"), this);
    m_plainModeButton = new QPushButton(Localizer::localizedString("Localized-MessageEditor", "Plain Part"), this);
    for (QPushButton *button : {m_htmlModeButton, m_plainModeButton}) {
        button->setCheckable(true);
        button->setFocusPolicy(Qt::NoFocus);
        row->addWidget(button);
    }
    connect(m_htmlModeButton, &QPushButton::clicked, this, [this] { modeButtonClicked(1); });
    connect(m_plainModeButton, &QPushButton::clicked, this, [this] { modeButtonClicked(2); });

    row->addStretch(1);
    m_importButton = toolButton(Localizer::localizedString("Localized-MessageEditor", "Import"));
    connect(m_importButton->menu()->addAction(Localizer::localizedString("Localized-MessageEditor", "Import HTML...")), &QAction::triggered, this,
            &MessageTabWidget::importHTML);
    connect(m_importButton->menu()->addAction(Localizer::localizedString("Localized-MessageEditor", "Import Text...")), &QAction::triggered, this,
            &MessageTabWidget::importText);
    static_cast<QVBoxLayout *>(this->layout())->addLayout(row);
}

void MessageTabWidget::setMessageTab(MessageTab *messageTab)
{
    if (m_messageTab) {
        m_messageTab->subjectStorage().setEditObserver({});
        m_messageTab->textStorage().setEditObserver({});
        m_messageTab->setTagWalker({});
        if (m_messageTab->tagDelegate() == this)
            m_messageTab->setTagDelegate(nullptr);
    }
    m_messageTab = messageTab;
    if (!messageTab)
        return;
    // Tags read with the message come here when clicked.
    messageTab->setTagDelegate(this);
    AttributedTagString::setAttachmentDelegate(messageTab->subjectString(), this);
    AttributedTagString::setAttachmentDelegate(messageTab->bodyString(), this);
    if (messageTab->alternativeBodyPart())
        AttributedTagString::setAttachmentDelegate(*messageTab->alternativeBodyPart(), this);
    // Tags changed in place need drawing only: the views may hold text typed
    // since the last commit, which the message's own copy lacks.
    using EditKind = TagTextStorage::EditKind;
    messageTab->subjectStorage().setEditObserver([this](EditKind kind, auto...) {
        kind == EditKind::Tags ? m_subjectView->reloadTagData() : showSubject();
    });
    messageTab->textStorage().setEditObserver([this](EditKind kind, auto...) {
        kind == EditKind::Tags ? m_bodyView->reloadTagData() : showBody();
    });
    messageTab->setTagWalker([this](const MessageTab::TagVisitor &visit) {
        m_subjectView->forEachTag(visit);
        m_bodyView->forEachTag(visit);
    });
    showSubject();
    showBody();
}

QAction *MessageTabWidget::optionAction(int tag) const
{
    const QList<QAction *> actions = m_options->actions();
    return tag >= 1 && tag <= actions.size() ? actions[tag - 1] : nullptr;
}

QAction *MessageTabWidget::specialAction(int index) const
{
    return index >= 1 && index <= m_specialActions.size() ? m_specialActions[index - 1] : nullptr;
}

ConditionEditor *MessageTabWidget::conditionEditor() const { return m_conditionEditor; }
ImageEditor *MessageTabWidget::imageEditor() const { return m_imageEditor; }
TemplateSelector *MessageTabWidget::templateSelector() const { return m_templateSelector; }
HTMLConverter *MessageTabWidget::htmlConverter() const { return m_htmlConverter; }

TagTextView *MessageTabWidget::activeView() const
{
    return m_lastFocusedView ? m_lastFocusedView.data() : m_bodyView;
}

bool MessageTabWidget::eventFilter(QObject *watched, QEvent *event)
{
    // Focus taken for a menu comes back to the same view; only a real move counts.
    if (event->type() == QEvent::FocusIn && (watched == m_subjectView || watched == m_bodyView))
        m_lastFocusedView = static_cast<TagTextView *>(watched);
    return QWidget::eventFilter(watched, event);
}

void MessageTabWidget::showMessage()
{
    showSubject();
    showBody();
}

void MessageTabWidget::showSubject()
{
    if (m_showing || !m_messageTab)
        return;
    const QScopedValueRollback guard(m_showing, true);
    m_subjectView->setAttributedString(m_messageTab->subjectString());
    m_subjectEdited = false;
}

void MessageTabWidget::showBody()
{
    if (m_showing || !m_messageTab)
        return;
    const QScopedValueRollback guard(m_showing, true);
    // Following the message's form is no change of mode: the tags keep the
    // fonts they were stored with.
    updateFormControls();
    m_bodyView->setAttributedString(m_messageTab->bodyString());
    if (m_bodyView->document()->isEmpty()) {
        const TextAttributes typing{{TextAttributeName::Font, QVariant::fromValue(m_messageTab->bodyViewFont())}};
        m_bodyView->setCurrentCharFormat(RichTextBridge::charFormat(typing));
    }
    m_bodyEdited = false;
}

void MessageTabWidget::updateFormControls()
{
    const bool hasMessage = m_messageTab != nullptr;
    const MessageTab::Mode mode = hasMessage ? m_messageTab->mode() : MessageTab::Mode::Plain;
    const int tag = mode == MessageTab::Mode::Formatted ? 1
                    : mode == MessageTab::Mode::RawHTML ? 2
                    : mode == MessageTab::Mode::Plain   ? 3
                                                        : 4;
    if (QAction *current = optionAction(tag)) {
        current->setChecked(true);
        m_optionsButton->setText(current->text());
    }
    const bool rawHTML = mode == MessageTab::Mode::RawHTML;
    const bool htmlShown = rawHTML && m_messageTab->editHTMLPart();
    // Formatting has its bar where the body holds formatted text.
    m_formatBar->setVisible(hasMessage && m_messageTab->formattedText());
    m_htmlModeButton->setVisible(rawHTML);
    m_plainModeButton->setVisible(rawHTML);
    m_htmlModeButton->setChecked(htmlShown);
    m_plainModeButton->setChecked(rawHTML && !htmlShown);
    specialAction(1)->setEnabled(true);
    specialAction(2)->setEnabled(hasMessage && m_messageTab->formattedText());
    specialAction(3)->setEnabled(true);
    specialAction(5)->setEnabled(htmlShown);
    if (!hasMessage)
        return;
    m_bodyView->setAcceptRichText(m_messageTab->bodyIsRichText());
    // The subject takes formatting where the body does.
    m_subjectView->setAcceptRichText(m_messageTab->bodyIsRichText());
    m_bodyView->setFont(RichTextBridge::qFont(m_messageTab->bodyViewFont()));
    showBackground();
    m_formatModel->refresh();
}

void MessageTabWidget::showBackground()
{
    QPalette palette = m_bodyView->palette();
    palette.setColor(QPalette::Base, RichTextBridge::qColor(m_messageTab->backgroundColor().value_or(White)));
    m_bodyView->setPalette(palette);
}

void MessageTabWidget::setBodyBackgroundColor(const RgbaColor &color)
{
    if (!m_messageTab || m_messageTab->backgroundColor() == color)
        return;
    const QPointer<MessageTabWidget> self(this);
    const auto show = [self](const std::optional<RgbaColor> &shown) {
        if (!self || !self->m_messageTab)
            return;
        self->m_messageTab->setBackgroundColor(shown);
        self->showBackground();
        emit self->documentEdited();
    };
    m_bodyView->document()->appendUndoItem(
        new FunctionUndoItem([show, before = m_messageTab->backgroundColor()] { show(before); },
                             [show, color] { show(color); }));
    show(color);
}

void MessageTabWidget::viewEdited(bool subject)
{
    if (m_showing)
        return;
    (subject ? m_subjectEdited : m_bodyEdited) = true;
    emit documentEdited();
}

void MessageTabWidget::commitEdits()
{
    if (!m_messageTab)
        return;
    const QScopedValueRollback guard(m_showing, true);
    // Only what the user changed: the stored text stays exactly as read otherwise.
    if (m_subjectEdited)
        m_messageTab->setSubjectText(m_subjectView->attributedString());
    if (m_bodyEdited)
        m_messageTab->setBodyText(m_bodyView->attributedString());
    m_subjectEdited = false;
    m_bodyEdited = false;
}

void MessageTabWidget::willBeSelected()
{
    m_fieldMenu->clear();
    if (!m_database)
        return;
    for (const QString &name : m_database->fieldNames())
        m_fieldMenu->addAction(literalMenuText(name), this, [this, name] { insertField(name); });
}

// ---- Changes of form ---------------------------------------------------

MessageTabWidget::TagLooks MessageTabWidget::tagLooks(const RichText &text)
{
    TagLooks looks;
    for (const SimpleTagRef &tag : AttributedTagString::tags(text))
        looks.append({tag, tag->attributes()});
    return looks;
}

void MessageTabWidget::applyFormChange(const MessageTab::FormChange &change)
{
    if (!m_messageTab)
        return;
    commitEdits();
    const MessageForm before = m_messageTab->form();
    // Committed, the message's body is the view's.
    const TagLooks looksBefore = tagLooks(m_messageTab->bodyString());
    {
        const QScopedValueRollback guard(m_showing, true);
        m_messageTab->setForm(change.form);
        m_messageTab->setBodyText(change.body);
    }
    // The tags take the body's new family and size and keep their own
    // bold and italic, as the text does.
    TagLooks looksAfter;
    for (const SimpleTagRef &tag : AttributedTagString::tags(change.body)) {
        if (change.form.bodyFont && change.form.bodyFont != before.bodyFont) {
            FontDescriptor font = *change.form.bodyFont;
            if (const auto own = tag->font()) {
                font.bold = own->bold;
                font.italic = own->italic;
            }
            tag->setFont(font);
        }
        looksAfter.append({tag, tag->attributes()});
    }

    // One step of the body's history: the form, then the text. The caret
    // goes to the start first: left at the end, it would have the whole
    // new text laid out at once to be shown.
    QTextDocument *document = m_bodyView->document();
    m_bodyView->moveCursor(QTextCursor::Start);
    QTextCursor block(document);
    block.beginEditBlock();
    document->appendUndoItem(new MessageFormUndoItem(this, before, looksBefore, change.form, looksAfter));
    block.endEditBlock();
    {
        const QScopedValueRollback guard(m_showing, true);
        RichTextBridge::replaceWholeText(document, change.body);
    }
    restoreForm(change.form, looksAfter);
    // The message holds the body the view shows.
    m_bodyEdited = false;
    m_bodyView->setFocus(Qt::OtherFocusReason);
}

void MessageTabWidget::restoreForm(const MessageForm &form, const TagLooks &looks)
{
    if (!m_messageTab)
        return;
    {
        const QScopedValueRollback guard(m_showing, true);
        m_messageTab->setForm(form);
    }
    for (const auto &[tag, attributes] : looks)
        tag->restoreAttributes(attributes);
    updateFormControls();
    if (m_bodyView->document()->isEmpty()) {
        const TextAttributes typing{{TextAttributeName::Font, QVariant::fromValue(m_messageTab->bodyViewFont())}};
        m_bodyView->setCurrentCharFormat(RichTextBridge::charFormat(typing));
    }
    m_bodyView->reloadTagData();
    // The body's text is the history's now; the message takes it at the next commit.
    m_bodyEdited = true;
    emit documentEdited();
}

void MessageTabWidget::setOption(int tag)
{
    ActionGuard::run([this, tag] {
        if (!m_messageTab)
            return;
        switch (tag) {
        case 1:
            applyFormChange(m_messageTab->modeChange(MessageTab::Mode::Formatted));
            break;
        case 2:
            enableRawHTMLMode();
            break;
        case 3:
            applyFormChange(m_messageTab->modeChange(MessageTab::Mode::Plain));
            break;
        case 4:
            showTemplateSelectorWindow();
            break;
        default:
            break;
        }
        // The template's item stays unchecked until one is chosen.
        updateFormControls();
    });
}

void MessageTabWidget::enableRawHTMLMode()
{
    if (m_messageTab)
        applyFormChange(m_messageTab->modeChange(MessageTab::Mode::RawHTML));
}

void MessageTabWidget::modeButtonClicked(int tag)
{
    ActionGuard::run([this, tag] {
        if (!m_messageTab || !m_messageTab->treatAsHTML() || (tag != 1 && tag != 2))
            return;
        commitEdits();
        const bool showSource = tag == 1;
        if (showSource != m_messageTab->editHTMLPart())
            applyFormChange(m_messageTab->editHTMLPartChange(showSource));
        updateFormControls();
    });
}

void MessageTabWidget::showTemplateSelectorWindow()
{
    const QPointer<MessageTabWidget> self(this);
    m_templateSelector = new TemplateSelector(window(), [self](const QString &name) {
        if (self)
            self->templateSelectorChosenTemplateName(name);
    });
    m_templateSelector->displayAsSheet();
}

void MessageTabWidget::templateSelectorChosenTemplateName(const QString &name)
{
    ActionGuard::run([this, &name] {
        if (m_messageTab && !name.isNull())
            applyFormChange(m_messageTab->modeChange(MessageTab::Mode::Template, name));
    });
}

// ---- Tags --------------------------------------------------------------

void MessageTabWidget::insertTag(const SimpleTagRef &tag)
{
    tag->setDelegate(this);
    activeView()->insertTag(tag);
}

void MessageTabWidget::insertField(const QString &name)
{
    if (!name.isNull())
        insertTag(std::make_shared<SimpleTag>(name));
}

void MessageTabWidget::insertSpecialField(int index)
{
    switch (index) {
    case 1:
        showConditionWindow(nullptr);
        break;
    case 2:
        showImageTagWindow();
        break;
    case 3:
        insertMessageNumberTag();
        break;
    case 5:
        showHTMLFileLinkTagWindow();
        break;
    default:
        break;
    }
}

void MessageTabWidget::showConditionWindow(const std::shared_ptr<ConditionTag> &tag)
{
    const QPointer<MessageTabWidget> self(this);
    ConditionEditor::Handlers handlers;
    handlers.inserted = [self](const std::shared_ptr<ConditionTag> &created) {
        if (self)
            self->insertTag(created);
    };
    handlers.changed = [self](ConditionTag *) {
        if (!self)
            return;
        self->m_subjectView->reloadTagData();
        self->m_bodyView->reloadTagData();
        emit self->documentEdited();
    };
    if (m_conditionEditor)
        m_conditionEditor->close();
    m_conditionEditor =
        new ConditionEditor(window(), tag, m_database ? m_database->fieldNames() : QStringList(), std::move(handlers));
    m_conditionEditor->displayAsSheet();
}

void MessageTabWidget::showImageTagWindow()
{
    const QPointer<MessageTabWidget> self(this);
    FileChooser::current().chooseFile(window(), QString(), {}, [self](const QString &path) {
        if (self && !path.isNull())
            self->insertTag(std::make_shared<ImageTag>(path));
    });
}

void MessageTabWidget::showHTMLFileLinkTagWindow()
{
    const QPointer<MessageTabWidget> self(this);
    FileChooser::current().chooseFile(window(), QString(), {}, [self](const QString &path) {
        if (self && !path.isNull())
            self->insertTag(std::make_shared<HTMLFileLinkTag>(path));
    });
}

void MessageTabWidget::insertMessageNumberTag()
{
    insertTag(std::make_shared<MessageNumberTag>());
}

SimpleTagRef MessageTabWidget::sharedTag(const SimpleTag *tag) const
{
    for (const TagTextView *view : {static_cast<TagTextView *>(m_subjectView), static_cast<TagTextView *>(m_bodyView)}) {
        for (const SimpleTagRef &candidate : AttributedTagString::tags(view->attributedString())) {
            if (candidate.get() == tag)
                return candidate;
        }
    }
    return nullptr;
}

bool MessageTabWidget::editConditionTag(ConditionTag *tag)
{
    const auto condition = std::dynamic_pointer_cast<ConditionTag>(sharedTag(tag));
    if (!condition)
        return false;
    showConditionWindow(condition);
    return true;
}

bool MessageTabWidget::editImageTag(ImageTag *tag)
{
    const auto image = std::dynamic_pointer_cast<ImageTag>(sharedTag(tag));
    if (!image)
        return false;
    const QPointer<MessageTabWidget> self(this);
    m_imageEditor = ImageEditor::showImageEditorForWindow(window(), image, [self] {
        if (!self)
            return;
        self->m_bodyView->reloadTagData();
        emit self->documentEdited();
    });
    return true;
}

// ---- Imports -----------------------------------------------------------

void MessageTabWidget::importHTML()
{
    const QPointer<MessageTabWidget> self(this);
    FileChooser::current().chooseFile(
        window(), QString(), {QStringLiteral("HTML (*.html *.htm)"), QStringLiteral("Text (*.txt)"), QStringLiteral("* (*)")},
        [self](const QString &path) {
            if (self && !path.isNull())
                self->importHTMLFile(path);
        });
}

void MessageTabWidget::importHTMLFile(const QString &path)
{
    ActionGuard::run([this, &path] {
        HTMLImport import;
        QString errorKey;
        if (!import.openFile(path, &errorKey)) {
            DoDisplayAlertSheet_Loc(QStringLiteral("Localized-HTMLImport"), QStringLiteral("Error"), errorKey, window());
            return;
        }
        const QPointer<MessageTabWidget> self(this);
        m_htmlConverter = new HTMLConverter(window(), std::move(import), [self](const RichText &body) {
            if (self)
                self->importAttributedString(body);
        });
        m_htmlConverter->displayAsSheet();
    });
}

void MessageTabWidget::importAttributedString(const RichText &html)
{
    if (!m_messageTab)
        return;
    AttributedTagString::setAttachmentDelegate(html, this);
    commitEdits();
    applyFormChange(m_messageTab->importChange(html));
}

void MessageTabWidget::importText()
{
    const QPointer<MessageTabWidget> self(this);
    FileChooser::current().chooseFile(window(), QString(), {QStringLiteral("Text (*.txt *.text)"), QStringLiteral("* (*)")},
                                      [self](const QString &path) {
                                          if (self && !path.isNull())
                                              self->importTextFile(path);
                                      });
}

bool MessageTabWidget::importTextFile(const QString &path)
{
    const std::optional<QByteArray> bytes =
        QFileInfo(path).isFile() ? FileIO::readFileLimited(path, MaxTextFileBytes) : std::nullopt;
    if (!bytes) {
        DoDisplayAlertSheet_Loc(QStringLiteral("Localized-HTMLImport"), QStringLiteral("Error"),
                                QStringLiteral("Text File Unreadable"), window());
        return false;
    }
    // Strictly UTF-8 (a byte-order mark dropped), else Windows-1252: never a
    // replacement character in place of what the file held.
    const bool utf16 = bytes->startsWith("\xFF\xFE") || bytes->startsWith("\xFE\xFF");
    std::optional<QString> text = HTMLEncoding::decode(*bytes, utf16 ? HTMLEncoding::Unicode : HTMLEncoding::UTF8);
    if (!text)
        text = HTMLEncoding::decode(*bytes, HTMLEncoding::WindowsCP1252);
    text->replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor cursor(m_bodyView->document());
    cursor.movePosition(QTextCursor::End);
    // The text looks like the body's end, but is never part of a tag.
    QTextCharFormat format = cursor.charFormat();
    format.setObjectType(QTextFormat::NoObject);
    format.clearProperty(RichTextBridge::AttachmentProperty);
    cursor.insertText(*text, format);
    return true;
}
