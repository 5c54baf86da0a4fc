#pragma once

// Typing into a table's cell as a user does.

#include <QAbstractItemView>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

// Into the current cell: F2, the text over what was there, Return.
inline void typeIntoCurrentCell(QAbstractItemView *view, const QString &text)
{
    QTest::keyClick(view, Qt::Key_F2);
    auto *editor = view->viewport()->findChild<QLineEdit *>();
    ASSERT_TRUE(editor);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    // The delegate commits once the editor has seen the key.
    QTest::keyClick(editor, Qt::Key_Return);
}
