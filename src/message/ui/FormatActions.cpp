#include "FormatActions.h"

#include "FormatBar.h"
#include "RichTextBridge.h"
#include "TagTextView.h"
#include "TextFormatModel.h"

#include "ActionGuard.h"
#include "Localizer.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QColorDialog>
#include <QFontDialog>
#include <QMenu>

FormatActions::FormatActions(TextFormatModel *model, QWidget *anchor)
    : QObject(anchor), m_model(model), m_anchor(anchor)
{
    m_menu = new QMenu(Localizer::localizedString("Localized-MessageEditor", "Format Menu"), anchor);
    m_menu->setObjectName(QStringLiteral("menuFormat"));
    QMenu *font = m_menu->addMenu(Localizer::localizedString("Localized-MessageEditor", "Font Menu"));
    QMenu *text = m_menu->addMenu(Localizer::localizedString("Localized-MessageEditor", "Text Menu"));
    text->setObjectName(QStringLiteral("menuFormatText"));
    const auto add = [this](QMenu *menu, const QString &title, auto command) {
        // In the order of Command.
        static const char *const names[] = {"formatBold", "formatItalic", "formatUnderline", "formatBigger",
                                            "formatSmaller", "formatFonts", "formatColours", "formatLink",
                                            "formatRemoveLink", "formatBackground", "formatAlignLeft",
                                            "formatAlignCenter", "formatAlignJustified", "formatAlignRight"};
        QAction *action = menu->addAction(title);
        action->setObjectName(QLatin1String(names[m_actions.size()]));
        connect(action, &QAction::triggered, this, [command] { ActionGuard::run(command); });
        m_actions.append(action);
        return action;
    };
    add(font, Localizer::localizedString("Localized-MessageEditor", "Bold"), [this] { m_model->toggleBold(); })
        ->setShortcut(QKeySequence::Bold);
    add(font, Localizer::localizedString("Localized-MessageEditor", "Italic"), [this] { m_model->toggleItalic(); })
        ->setShortcut(QKeySequence::Italic);
    add(font, Localizer::localizedString("Localized-MessageEditor", "Underline"), [this] { m_model->underline(); })
        ->setShortcut(QKeySequence::Underline);
    for (const int toggle : {Bold, Italic, Underline})
        m_actions[toggle]->setCheckable(true);
    font->addSeparator();
    add(font, Localizer::localizedString("Localized-MessageEditor", "Bigger"), [this] { m_model->bigger(); });
    add(font, Localizer::localizedString("Localized-MessageEditor", "Smaller"), [this] { m_model->smaller(); });
    font->addSeparator();
    add(font, Localizer::localizedString("Localized-MessageEditor", "Fonts..."), [this] { chooseFont(); });
    add(font, Localizer::localizedString("Localized-MessageEditor", "Colours..."), [this] { chooseTextColor(); });
    add(m_menu, Localizer::localizedString("Localized-MessageEditor", "Link..."), [this] { m_model->setLink(); });
    add(m_menu, Localizer::localizedString("Localized-MessageEditor", "Remove Link"), [this] { m_model->removeLink(); });

    m_listMenu = m_menu->addMenu(Localizer::localizedString("Localized-MessageEditor", "List Menu"));
    m_listMenu->setObjectName(QStringLiteral("menuFormatList"));
    // By the list item's tag.
    const QString listTitles[] = {
        Localizer::localizedString("Localized-MessageEditor", "List None"),
        Localizer::localizedString("Localized-MessageEditor", "List Disc"),
        Localizer::localizedString("Localized-MessageEditor", "List Hyphen"),
        Localizer::localizedString("Localized-MessageEditor", "List Circle"),
        Localizer::localizedString("Localized-MessageEditor", "List Square"),
        Localizer::localizedString("Localized-MessageEditor", "List Check"),
        Localizer::localizedString("Localized-MessageEditor", "List Decimal"),
        Localizer::localizedString("Localized-MessageEditor", "List Decimal Parenthesis"),
        Localizer::localizedString("Localized-MessageEditor", "List Upper Alpha"),
        Localizer::localizedString("Localized-MessageEditor", "List Lower Alpha"),
        Localizer::localizedString("Localized-MessageEditor", "List Lower Alpha Parenthesis"),
        Localizer::localizedString("Localized-MessageEditor", "List Upper Roman"),
        Localizer::localizedString("Localized-MessageEditor", "List Lower Roman"),
    };
    auto *lists = new QActionGroup(this);
    for (int tag = 0; tag < int(std::size(listTitles)); ++tag) {
        QAction *action = m_listMenu->addAction(listTitles[tag]);
        action->setObjectName(QStringLiteral("formatList%1").arg(tag));
        action->setCheckable(true);
        lists->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, tag] { ActionGuard::run([this, tag] { m_model->setListStyle(tag); }); });
        m_listActions.append(action);
        if (tag == 0)
            m_listMenu->addSeparator();
    }
    m_menu->addSeparator();
    add(m_menu, Localizer::localizedString("Localized-MessageEditor", "Body Background Colour..."),
        [this] { chooseBackgroundColor(); });

    // In the order of Command, by the paragraph style's alignment. The keys
    // are the ones word processors on this desktop use; none of them is
    // taken in the document window or by the text views.
    const struct {
        QString title;
        int alignment;
        const char *keys;
    } alignments[] = {
        {Localizer::localizedString("Localized-MessageEditor", "Align Left"), 0, "Ctrl+L"},
        {Localizer::localizedString("Localized-MessageEditor", "Align Center"), 2, "Ctrl+E"},
        {Localizer::localizedString("Localized-MessageEditor", "Justify"), 3, "Ctrl+J"},
        {Localizer::localizedString("Localized-MessageEditor", "Align Right"), 1, "Ctrl+R"},
    };
    auto *aligned = new QActionGroup(this);
    for (const auto &a : alignments) {
        const int alignment = a.alignment;
        QAction *action = add(text, a.title, [this, alignment] { m_model->setAlignment(alignment); });
        action->setShortcut(QKeySequence(QLatin1String(a.keys)));
        action->setCheckable(true);
        action->setData(alignment);
        aligned->addAction(action);
    }

    connect(m_model, &TextFormatModel::stateChanged, this, &FormatActions::showState);
    connect(m_model, &TextFormatModel::targetChanged, this, &FormatActions::followTarget);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { focusChanged(now); });
    showState();
}

FormatActions::~FormatActions() = default;

QAction *FormatActions::action(Command command) const
{
    return m_actions.value(command);
}

QAction *FormatActions::listAction(int tag) const
{
    return m_listActions.value(tag);
}

void FormatActions::focusChanged(QWidget *now)
{
    QWidget *home = m_anchor ? m_anchor->window() : nullptr;
    if (!now || !home) {
        m_model->focusMoved(TextFormatModel::Focus::Elsewhere);
        return;
    }
    QWidget *window = now->window();
    bool ours = window == home;
    if (!ours) {
        // A sheet of the window, if it holds tag text views: panels, menus
        // and the link sheet opened from here are no place to format.
        for (QWidget *parent = window->parentWidget(); parent; parent = parent->parentWidget()) {
            if (parent->window() == home) {
                ours = window->findChild<TagTextView *>() != nullptr;
                break;
            }
        }
    }
    if (!ours) {
        m_model->focusMoved(TextFormatModel::Focus::Elsewhere);
        return;
    }
    if (auto *view = qobject_cast<TagTextView *>(now)) {
        if (window != home && !m_sheets.contains(window)) {
            m_sheets.append(window);
            window->addActions(m_actions);
            for (TagTextView *sheetView : window->findChildren<TagTextView *>())
                sheetView->setFormatMenu(m_menu);
        }
        m_model->focusMoved(TextFormatModel::Focus::TextView, view);
        return;
    }
    for (QWidget *widget = now; widget; widget = widget->parentWidget()) {
        if (qobject_cast<FormatBar *>(widget)) {
            m_model->focusMoved(TextFormatModel::Focus::FormatControl);
            return;
        }
    }
    m_model->focusMoved(TextFormatModel::Focus::OtherControl);
}

QWidget *FormatActions::targetWidget() const
{
    FormatTarget *target = m_model->target();
    return target ? qobject_cast<QWidget *>(target->formatObject()) : nullptr;
}

void FormatActions::followTarget()
{
    for (const QMetaObject::Connection &connection : std::as_const(m_targetConnections))
        disconnect(connection);
    m_targetConnections.clear();
    if (auto *view = qobject_cast<QTextEdit *>(targetWidget())) {
        const auto refresh = [this] { m_model->refresh(); };
        m_targetConnections = {
            connect(view, &QTextEdit::cursorPositionChanged, m_model, refresh),
            connect(view, &QTextEdit::selectionChanged, m_model, refresh),
            connect(view, &QTextEdit::currentCharFormatChanged, m_model, refresh),
            connect(view, &QTextEdit::textChanged, m_model, refresh),
        };
    }
}

void FormatActions::showState()
{
    const TextFormatModel::State &state = m_model->state();
    for (QAction *action : std::as_const(m_actions))
        action->setEnabled(state.enabled);
    for (QAction *action : std::as_const(m_listActions))
        action->setEnabled(state.linksAndLists);
    action(Link)->setEnabled(state.linksAndLists);
    action(RemoveLink)->setEnabled(state.linksAndLists);
    action(BackgroundColor)->setEnabled(state.backgroundColor);
    // A natural alignment is laid out as the left one in this editor.
    const int alignment = state.alignment == 4 ? 0 : state.alignment;
    for (const Command command : {AlignLeft, AlignCenter, AlignJustified, AlignRight}) {
        QAction *item = action(command);
        item->setEnabled(state.linksAndLists);
        item->setChecked(state.linksAndLists && item->data().toInt() == alignment);
    }
    action(Bold)->setChecked(state.enabled && state.font.bold);
    action(Italic)->setChecked(state.enabled && state.font.italic);
    action(Underline)->setChecked(state.enabled && state.underline);
    for (int tag = 0; tag < m_listActions.size(); ++tag)
        m_listActions[tag]->setChecked(state.linksAndLists && state.listStyle == tag);
}

void FormatActions::chooseFont()
{
    QWidget *view = targetWidget();
    if (!view || !m_model->state().enabled)
        return;
    QFont initial = RichTextBridge::qFont(m_model->state().font);
    initial.setUnderline(m_model->state().underline);
    auto *panel = new QFontDialog(initial, view->window());
    panel->setObjectName(QStringLiteral("fontPanel"));
    openPanel(panel, [this, panel, initial] {
        const QFont chosen = panel->selectedFont();
        // Underlining counts only where the user changed it in the panel.
        const std::optional<bool> underline =
            chosen.underline() != initial.underline() ? std::optional<bool>(chosen.underline()) : std::nullopt;
        m_model->applyFont(RichTextBridge::fontDescriptor(chosen), underline);
    });
}

void FormatActions::chooseTextColor()
{
    QWidget *view = targetWidget();
    if (!view || !m_model->state().enabled)
        return;
    auto *panel = new QColorDialog(RichTextBridge::qColor(m_model->state().color.value_or(RgbaColor{0, 0, 0, 1})),
                                   view->window());
    panel->setObjectName(QStringLiteral("colorPanel"));
    panel->setWindowTitle(Localizer::localizedString("Localized-MessageEditor", "Colours Panel Title"));
    openPanel(panel, [this, panel] { m_model->setTextColor(RichTextBridge::rgbaColor(panel->selectedColor())); });
}

void FormatActions::chooseBackgroundColor()
{
    QWidget *view = targetWidget();
    if (!view || !m_model->state().backgroundColor)
        return;
    auto *panel = new QColorDialog(RichTextBridge::qColor(m_model->backgroundColor()), view->window());
    panel->setObjectName(QStringLiteral("backgroundPanel"));
    panel->setWindowTitle(Localizer::localizedString("Localized-MessageEditor", "Background Panel Title"));
    openPanel(panel, [this, panel] { m_model->setBackgroundColor(RichTextBridge::rgbaColor(panel->selectedColor())); });
}

void FormatActions::openPanel(QDialog *panel, const std::function<void()> &chosen)
{
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    const QPointer<FormatActions> self(this);
    connect(panel, &QDialog::finished, panel, [self, chosen](int result) {
        if (self && result == QDialog::Accepted)
            ActionGuard::run(chosen);
    });
    panel->open();
}
