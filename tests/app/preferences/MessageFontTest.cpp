// The font of new messages is the preferences' own: formatting a message
// with the Format menu and the format bar, while the preferences window is
// open, after its Choose… was used, or after it closed, leaves it alone.
#include "PreferencesTestSupport.h"

#include "BodyTextView.h"
#include "DocumentWindow.h"
#include "MessageTabWidget.h"
#include "MyDocument.h"

#include <QAction>
#include <QComboBox>
#include <QFontComboBox>
#include <QFontDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

namespace {

void focus(QWidget *widget)
{
    QApplication::setActiveWindow(widget->window());
    widget->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([widget] { return widget->hasFocus(); }));
}

FontDescriptor bodyFont(MyDocument &document)
{
    document.messageTabWidget()->commitEdits();
    return document.messageTab().bodyString().attributesAtIndex(0).value(TextAttributeName::Font).value<FontDescriptor>();
}

// A formatted message typed in a new document's window.
std::unique_ptr<MyDocument> formattedMessage()
{
    auto document = std::make_unique<MyDocument>();
    document->showWindows();
    document->documentWindow()->tabView()->setCurrentIndex(1);
    document->messageTabWidget()->setOption(1);
    focus(document->messageTabWidget()->bodyView());
    QTest::keyClicks(document->messageTabWidget()->bodyView(), QStringLiteral("Dear all"));
    return document;
}

// Every way the menu and the bar change the font of the selection.
void formatEveryWay(MyDocument &document)
{
    BodyTextView *body = document.messageTabWidget()->bodyView();
    QWidget *window = document.window();
    const auto selectBody = [&] {
        focus(body);
        body->selectAll();
    };
    selectBody();
    window->findChild<QAction *>(QStringLiteral("formatFonts"))->trigger();
    QFontDialog *panel = nullptr;
    for (QFontDialog *open : window->findChildren<QFontDialog *>())
        panel = open->isVisible() ? open : panel;
    ASSERT_TRUE(panel);
    panel->setCurrentFont(QFont(QStringLiteral("DejaVu Serif"), 20));
    panel->accept();
    selectBody();
    window->findChild<QAction *>(QStringLiteral("formatBigger"))->trigger();
    window->findChild<QAction *>(QStringLiteral("formatSmaller"))->trigger();
    selectBody();
    auto *family = window->findChild<QFontComboBox *>(QStringLiteral("formatFamily"));
    family->setCurrentFont(QFont(QStringLiteral("DejaVu Sans Mono")));
    emit family->activated(family->currentIndex());
    selectBody();
    auto *size = window->findChild<QComboBox *>(QStringLiteral("formatSize"));
    focus(size);
    size->lineEdit()->selectAll();
    QTest::keyClicks(size->lineEdit(), QStringLiteral("13"));
    QTest::keyClick(size->lineEdit(), Qt::Key_Return);
    size->setCurrentIndex(size->findText(QStringLiteral("14")));
    emit size->textActivated(size->currentText());
    // The formatting took: it is the message's.
    const FontDescriptor formatted = bodyFont(document);
    EXPECT_EQ(formatted.family, "DejaVu Sans Mono");
    EXPECT_EQ(formatted.pointSize, 14);
}

} // namespace

TEST_F(PreferencesTest, FormattingAMessageLeavesTheFontOfNewMessagesAlone)
{
    Settings::setFontFamilyCheck([](const QString &) { return true; });
    const FontDescriptor chosen{QStringLiteral("DejaVu Sans"), 12, false, false};
    Settings::setDefaultMessageFont(chosen);
    const auto fontShown = [](SettingsWindow *window) {
        return window->findChild<QLineEdit *>(QStringLiteral("messageFontField"))->text();
    };

    // Open, never used.
    auto document = formattedMessage();
    SettingsWindow::showSettings();
    SettingsWindow *window = SettingsWindow::openWindow();
    ASSERT_TRUE(window);
    formatEveryWay(*document);
    EXPECT_EQ(Settings::defaultMessageFont(), chosen);
    EXPECT_EQ(fontShown(window), "DejaVu Sans - 12.0pt");

    // Its Choose… used, the window still open.
    const FontDescriptor serif{QStringLiteral("DejaVu Serif"), 11, false, false};
    panels.fonts.push_back(serif);
    window->findChild<QPushButton *>(QStringLiteral("messageFontButton"))->click();
    ASSERT_EQ(Settings::defaultMessageFont(), serif);
    formatEveryWay(*document);
    EXPECT_EQ(Settings::defaultMessageFont(), serif);
    EXPECT_EQ(fontShown(window), "DejaVu Serif - 11.0pt");

    // Closed again; a message formatted in a window opened after it.
    window->close();
    document = formattedMessage();
    formatEveryWay(*document);
    EXPECT_EQ(Settings::defaultMessageFont(), serif);
    EXPECT_EQ(panels.fontRequests, 1) << "only Choose… asks for the font of new messages";

    // A new message starts in the preference, not in the last format used.
    auto fresh = formattedMessage();
    EXPECT_EQ(bodyFont(*fresh), serif);
    document.reset();
    fresh.reset();
    Settings::setFontFamilyCheck(nullptr);
}
