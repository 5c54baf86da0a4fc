#pragma once

// Draws a one-line text in the middle of a tall row rather than at its top,
// beside the row's picture.

#include <QStyledItemDelegate>

class MiddleTextFieldCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};
