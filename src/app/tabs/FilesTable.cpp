#include "FilesTable.h"

#include "FilesDataSource.h"

#include <QDragEnterEvent>
#include <QHeaderView>

FilesTable::FilesTable(QWidget *parent)
    : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Drops only: the view's own moves would reorder what it shows and not
    // the list that is sent.
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::DropOnly);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setShowGrid(false);
}

void FilesTable::setDataSource(FilesDataSource *source)
{
    m_source = source;
    setModel(source);
}

// Entering and moving over the table answer alike: only drops the list would take.
static void answerDrag(QDragMoveEvent *event)
{
    const Qt::DropAction action = FilesDataSource::validateDrop(event->mimeData(), event->possibleActions());
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void FilesTable::dragEnterEvent(QDragEnterEvent *event)
{
    answerDrag(event);
}

void FilesTable::dragMoveEvent(QDragMoveEvent *event)
{
    answerDrag(event);
}

void FilesTable::dropEvent(QDropEvent *event)
{
    const Qt::DropAction action = FilesDataSource::validateDrop(event->mimeData(), event->possibleActions());
    if (action == Qt::IgnoreAction || !m_source || !m_source->acceptDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
    emit filesDropped();
}
