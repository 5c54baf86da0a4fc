#include "AlertDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

namespace {

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

AlertDialog::AlertDialog(const QString &title, const QString &text, QWidget *parent, Icon icon)
    : QDialog(parent)
{
    setWindowTitle(title);

    auto *iconLabel = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    const QStyle::StandardPixmap standard = icon == Information ? QStyle::SP_MessageBoxInformation
                                                                : QStyle::SP_MessageBoxWarning;
    iconLabel->setPixmap(style()->standardIcon(standard, nullptr, this).pixmap(iconSize, iconSize));
    iconLabel->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    m_titleLabel = plainLabel(title, this);
    QFont bold = m_titleLabel->font();
    bold.setBold(true);
    m_titleLabel->setFont(bold);

    m_textArea = new QScrollArea(this);
    m_textArea->setFrameShape(QFrame::NoFrame);
    m_textArea->setWidgetResizable(true);
    m_textArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_textLabel = plainLabel(text, m_textArea);
    m_textLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_textArea->setWidget(m_textLabel);
    m_textArea->setVisible(!text.isEmpty());

    // Exactly one button, titled "OK" whatever the language.
    auto *buttons = new QDialogButtonBox(this);
    m_okButton = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    m_okButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QGridLayout(this);
    layout->addWidget(iconLabel, 0, 0, 2, 1);
    layout->addWidget(m_titleLabel, 0, 1);
    layout->addWidget(m_textArea, 1, 1);
    layout->addWidget(buttons, 2, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    fitTextArea();
}

QString AlertDialog::title() const
{
    return m_titleLabel->text();
}

QString AlertDialog::text() const
{
    return m_textLabel->text();
}

void AlertDialog::showEvent(QShowEvent *event)
{
    // The screen is known for certain only once the window is placed.
    fitTextArea();
    QDialog::showEvent(event);
}

// The text area is as tall as the wrapped text, up to most of the screen.
void AlertDialog::fitTextArea()
{
    const int width = m_textLabel->fontMetrics().averageCharWidth() * 60;
    const QScreen *screen = this->screen();
    const int screenHeight = screen ? screen->availableGeometry().height() : 600;
    const int maxHeight = qMax(100, screenHeight / 2);
    const int textHeight = m_textLabel->heightForWidth(width);
    const bool scrolls = textHeight > maxHeight || m_textLabel->minimumSizeHint().width() > width;
    const int scrollBarExtent = scrolls ? m_textArea->verticalScrollBar()->sizeHint().width() : 0;
    m_textArea->setMinimumWidth(width + scrollBarExtent);
    m_textArea->setMinimumHeight(qMin(textHeight, maxHeight) + scrollBarExtent);
    m_textArea->setMaximumHeight(maxHeight + scrollBarExtent);
}
