#pragma once

// The attachments tab's table: files dropped on it are appended to the
// list (FilesDataSource decides what is taken); its own rows are never
// dragged or moved.

#include <QTableView>

class FilesDataSource;

class FilesTable : public QTableView {
    Q_OBJECT
public:
    explicit FilesTable(QWidget *parent = nullptr);

    void setDataSource(FilesDataSource *source);
    [[nodiscard]] FilesDataSource *dataSource() const { return m_source; }

signals:
    // Files were dropped and added.
    void filesDropped();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    FilesDataSource *m_source = nullptr;
};
