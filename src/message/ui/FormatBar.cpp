#include "FormatBar.h"

#include "FormatActions.h"
#include "RichTextBridge.h"
#include "TextFormatModel.h"

#include "ActionGuard.h"
#include "Localizer.h"

#include <QAction>
#include <QComboBox>
#include <QFontComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QToolButton>

namespace {

// Sizes offered; any other can be typed.
constexpr int OfferedSizes[] = {8, 9, 10, 11, 12, 13, 14, 16, 18, 20, 24, 28, 32, 36, 48, 64, 72};

QIcon colorSwatch(const QColor &color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(Qt::gray));
    painter.setBrush(color);
    painter.drawRect(1, 1, 13, 13);
    return QIcon(pixmap);
}

} // namespace

FormatBar::FormatBar(FormatActions *actions, TextFormatModel *model, QWidget *parent)
    : QWidget(parent), m_actions(actions), m_model(model)
{
    setObjectName(QStringLiteral("formatBar"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const auto button = [this, layout](FormatActions::Command command, const QString &label) {
        auto *tool = new QToolButton(this);
        QAction *action = m_actions->action(command);
        tool->setObjectName(action->objectName() + QStringLiteral("Button"));
        tool->setText(label);
        tool->setToolTip(action->iconText());
        tool->setCheckable(action->isCheckable());
        // The bar never takes the focus from the text it acts on.
        tool->setFocusPolicy(Qt::NoFocus);
        connect(tool, &QToolButton::clicked, action, &QAction::trigger);
        layout->addWidget(tool);
        return tool;
    };
    m_bold = button(FormatActions::Bold, QStringLiteral("B"));
    m_italic = button(FormatActions::Italic, QStringLiteral("I"));
    m_underline = button(FormatActions::Underline, QStringLiteral("U"));
    QFont look = m_bold->font();
    look.setBold(true);
    m_bold->setFont(look);
    look = m_italic->font();
    look.setItalic(true);
    m_italic->setFont(look);
    look = m_underline->font();
    look.setUnderline(true);
    m_underline->setFont(look);

    m_family = new QFontComboBox(this);
    m_family->setObjectName(QStringLiteral("formatFamily"));
    m_family->setFocusPolicy(Qt::ClickFocus);
    m_family->setToolTip(Localizer::localizedString("Localized-MessageEditor", "Font Family"));
    layout->addWidget(m_family);
    connect(m_family, &QComboBox::activated, this, [this] {
        const QString family = m_family->currentFont().family();
        ActionGuard::run([&] { m_model->setFontFamily(family); });
        returnFocus();
    });

    m_size = new QComboBox(this);
    m_size->setObjectName(QStringLiteral("formatSize"));
    m_size->setEditable(true);
    m_size->setFocusPolicy(Qt::ClickFocus);
    m_size->setInsertPolicy(QComboBox::NoInsert);
    m_size->setToolTip(Localizer::localizedString("Localized-MessageEditor", "Font Size"));
    for (const int size : OfferedSizes)
        m_size->addItem(QString::number(size));
    m_size->setMinimumContentsLength(3);
    layout->addWidget(m_size);
    connect(m_size, &QComboBox::textActivated, this, &FormatBar::applySize);
    // Return in the box would apply only a size the list offers, and that
    // only in some Qt versions: the bar takes the key itself.
    m_size->lineEdit()->installEventFilter(this);

    m_color = button(FormatActions::Colors, QString());
    m_link = button(FormatActions::Link, Localizer::localizedString("Localized-MessageEditor", "Link Button"));
    m_list = new QToolButton(this);
    m_list->setObjectName(QStringLiteral("formatListButton"));
    m_list->setText(Localizer::localizedString("Localized-MessageEditor", "List Button"));
    m_list->setMenu(m_actions->listMenu());
    m_list->setToolTip(m_actions->listMenu()->menuAction()->iconText());
    m_list->setPopupMode(QToolButton::InstantPopup);
    m_list->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_list);
    layout->addStretch(1);

    connect(m_model, &TextFormatModel::stateChanged, this, &FormatBar::showState);
    showState();
}

void FormatBar::showState()
{
    const TextFormatModel::State &state = m_model->state();
    for (QWidget *control : std::initializer_list<QWidget *>{m_bold, m_italic, m_underline, m_family, m_size, m_color})
        control->setEnabled(state.enabled);
    m_link->setEnabled(state.linksAndLists);
    m_list->setEnabled(state.linksAndLists);
    m_bold->setChecked(state.enabled && state.font.bold);
    m_italic->setChecked(state.enabled && state.font.italic);
    m_underline->setChecked(state.enabled && state.underline);
    {
        const QSignalBlocker familyBlocker(m_family);
        const QSignalBlocker sizeBlocker(m_size);
        if (state.enabled) {
            m_family->setCurrentFont(RichTextBridge::qFont(state.font));
            m_size->setEditText(QLocale().toString(state.font.pointSize, 'g', 4));
        } else {
            m_size->setEditText(QString());
        }
    }
    m_color->setIcon(colorSwatch(RichTextBridge::qColor(state.color.value_or(RgbaColor{0, 0, 0, 1}))));
}

bool FormatBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_size->lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            applySize(m_size->currentText());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FormatBar::applySize(const QString &typed)
{
    // The user's own way of writing numbers, or the C one.
    bool ok = false;
    double size = QLocale().toDouble(typed, &ok);
    if (!ok)
        size = typed.toDouble(&ok);
    if (ok)
        ActionGuard::run([&] { m_model->setFontSize(size); });
    showState();
    returnFocus();
}

void FormatBar::returnFocus()
{
    if (FormatTarget *target = m_model->target()) {
        if (auto *view = qobject_cast<QWidget *>(target->formatObject()))
            view->setFocus(Qt::OtherFocusReason);
    }
}
