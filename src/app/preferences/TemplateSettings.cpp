#include "TemplateSettings.h"

#include "SettingsPanels.h"

#include "Alerts.h"
#include "Localizer.h"
#include "TemplateManager.h"

#include <algorithm>

TemplateSettings::TemplateSettings(QObject *parent)
    : QAbstractTableModel(parent), m_names(TemplateManager::defaultManager().templateNames())
{
}

int TemplateSettings::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_names.size());
}

int TemplateSettings::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString TemplateSettings::nameAt(int row) const
{
    return row >= 0 && row < m_names.size() ? m_names.at(row) : QString();
}

QVariant TemplateSettings::data(const QModelIndex &index, int role) const
{
    const QString name = nameAt(index.row());
    if (name.isNull())
        return {};
    if (index.column() == PreviewColumn && role == Qt::DecorationRole) {
        const auto found = m_previews.constFind(name);
        if (found != m_previews.constEnd())
            return *found;
        const MessageTemplateRef messageTemplate = TemplateManager::defaultManager().templateForName(name);
        QImage preview = messageTemplate ? messageTemplate->previewImage() : QImage();
        if (!preview.isNull())
            preview = preview.scaledToHeight(PreviewHeight, Qt::SmoothTransformation);
        m_previews.insert(name, preview);
        return preview;
    }
    if (index.column() == NameColumn && (role == Qt::DisplayRole || role == Qt::ToolTipRole))
        return name;
    if (index.column() == NameColumn && role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

QVariant TemplateSettings::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == PreviewColumn ? Localizer::localizedString("Localized-Settings", "TEMPLATE_PREVIEW_COLUMN")
                                    : Localizer::localizedString("Localized-Settings", "TEMPLATE_NAME_COLUMN");
}

bool TemplateSettings::isUserTemplate(int row) const
{
    const MessageTemplateRef messageTemplate = TemplateManager::defaultManager().templateForName(nameAt(row));
    return messageTemplate && !messageTemplate->inBundle();
}

bool TemplateSettings::canRemove(const QList<int> &selectedRows) const
{
    return std::any_of(selectedRows.cbegin(), selectedRows.cend(), [this](int row) { return isUserTemplate(row); });
}

void TemplateSettings::addTemplate(QWidget *window)
{
    const QString folder = SettingsPanels::current().chooseFolder(window);
    if (!folder.isEmpty())
        installFolder(folder);
}

void TemplateSettings::installFolder(const QString &folder)
{
    const QString problem = TemplateManager::checkTemplateFolder(folder);
    if (!problem.isNull())
        DoDisplayAlert(problem + QStringLiteral("_TITLE"), problem + QStringLiteral("_MESSAGE"));
    else if (!TemplateManager::installTemplate(folder))
        DoDisplayAlert(QStringLiteral("CANT_INSTALL_TEMPLATE_TITLE"), QStringLiteral("CANT_INSTALL_TEMPLATE_MESSAGE"));
    reload();
}

void TemplateSettings::removeTemplate(const QList<int> &selectedRows)
{
    QList<int> rows = selectedRows;
    std::sort(rows.begin(), rows.end());
    for (const int row : rows) {
        if (!isUserTemplate(row))
            continue;
        (void)TemplateManager::uninstallTemplate(nameAt(row));
        reload();
        return;
    }
}

void TemplateSettings::reload()
{
    TemplateManager::loadTemplates();
    beginResetModel();
    m_names = TemplateManager::defaultManager().templateNames();
    m_previews.clear();
    endResetModel();
}
