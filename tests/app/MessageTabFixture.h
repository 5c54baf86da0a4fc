#pragma once

// A document whose window is shown and active, with its message tab: where
// the tests of editing the message start.

#include "BodyTextView.h"
#include "MessageTabWidget.h"
#include "MyDocument.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

class MessageTabFixture : public ::testing::Test {
protected:
    void SetUp() override { openDocument(); }

    // A new document in place of the one before.
    void openDocument()
    {
        document = std::make_unique<MyDocument>();
        document->showWindows();
        QApplication::setActiveWindow(document->window());
        ASSERT_TRUE(QTest::qWaitForWindowActive(document->window()));
        tab = document->messageTabWidget();
    }

    // The view's window (the document's, or a sheet's) active, the focus in the view.
    void focus(QWidget *view)
    {
        QApplication::setActiveWindow(view->window());
        view->setFocus(Qt::MouseFocusReason);
        ASSERT_TRUE(QTest::qWaitFor([view] { return view->hasFocus(); }));
    }

    // Ctrl+Z and Ctrl+Shift+Z in the body.
    void undo() { QTest::keyClick(tab->bodyView(), Qt::Key_Z, Qt::ControlModifier); }
    void redo() { QTest::keyClick(tab->bodyView(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); }

    // The body as the message holds it once the view's edits are in.
    RichText body()
    {
        tab->commitEdits();
        return document->messageTab().bodyString();
    }

    // The message in formatted text, the focus in its body, where type(),
    // key() and caretAfter() act.
    void editFormattedBody()
    {
        tab->setOption(1);
        view = tab->bodyView();
        focus(view);
    }
    void type(const QString &text) { QTest::keyClicks(view, text); }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(view, key, modifiers); }
    void caretAfter(const QString &text)
    {
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(int(view->toPlainText().indexOf(text) + text.size()));
        view->setTextCursor(cursor);
    }

    std::unique_ptr<MyDocument> document;
    MessageTabWidget *tab = nullptr;
    BodyTextView *view = nullptr;
};
