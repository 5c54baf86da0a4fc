#include "ProjectIcons.h"

#include <QApplication>
#include <QStyle>

QIcon ProjectIcons::icon(const QString &name)
{
    QStyle *style = QApplication::style();
    if (!style)
        return {};
    if (name == u"ov_icon_corvantiline_db")
        return style->standardIcon(QStyle::SP_DriveHDIcon);
    if (name == u"ov_icon_addressbook")
        return style->standardIcon(QStyle::SP_DirHomeIcon);
    if (name == u"ov_icon_table")
        return style->standardIcon(QStyle::SP_FileDialogDetailedView);
    return {};
}
