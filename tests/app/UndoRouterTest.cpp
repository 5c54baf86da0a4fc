// Edit ▸ Undo and Redo without widgets: the text being edited, else the document.

#include "UndoRouter.h"

#include <QSignalSpy>
#include <QTextCursor>
#include <QTextDocument>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <memory>

TEST(UndoRouter, followsTheEditedTextAndFallsBackToTheDocumentWhenItGoes)
{
    QUndoStack document;
    document.push(new QUndoCommand(QStringLiteral("step")));
    UndoRouter router(&document);
    QSignalSpy changed(&router, &UndoRouter::changed);
    EXPECT_TRUE(router.canUndo());
    EXPECT_EQ(router.undoText(), "step");

    auto text = std::make_unique<QTextDocument>();
    router.setText(text.get());
    EXPECT_FALSE(router.canUndo()) << "the text has nothing to undo, whatever the document has";
    QTextCursor(text.get()).insertText(QStringLiteral("typed"));
    EXPECT_TRUE(router.canUndo());
    EXPECT_EQ(router.undoText(), "") << "a text's steps have no names";
    router.undo();
    EXPECT_TRUE(text->isEmpty());
    EXPECT_EQ(document.index(), 1);
    EXPECT_TRUE(router.canRedo());
    EXPECT_GE(changed.count(), 3);

    changed.clear();
    text.reset();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(router.routesToText());
    router.undo();
    EXPECT_EQ(document.index(), 0);
    EXPECT_TRUE(router.canRedo());
    EXPECT_EQ(router.redoText(), "step");
    EXPECT_EQ(router.undoText(), "");

    // A step pushed over another changes only the name Undo shows.
    router.redo();
    changed.clear();
    document.push(new QUndoCommand(QStringLiteral("next")));
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(router.undoText(), "next");
}
