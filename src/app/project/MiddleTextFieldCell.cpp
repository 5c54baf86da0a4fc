#include "MiddleTextFieldCell.h"

void MiddleTextFieldCell::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->displayAlignment = (option->displayAlignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter;
    option->decorationAlignment = Qt::AlignVCenter | Qt::AlignLeft;
}
