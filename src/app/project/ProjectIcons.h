#pragma once

// The pictures that table sources name by their display icon
// ("ov_icon_corvantiline_db", "ov_icon_addressbook", "ov_icon_table").

#include <QIcon>
#include <QString>

namespace ProjectIcons {
// An empty icon for a name we have no picture for.
[[nodiscard]] QIcon icon(const QString &name);
} // namespace ProjectIcons
