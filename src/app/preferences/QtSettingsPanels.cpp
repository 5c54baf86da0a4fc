#include "QtSettingsPanels.h"

#include "Localizer.h"

#include <QFileDialog>
#include <QFontDialog>

QString QtSettingsPanels::chooseFolder(QWidget *parent)
{
    return QFileDialog::getExistingDirectory(parent, Localizer::localizedString("Localized-Settings", "CHOOSE_TEMPLATE_FOLDER"));
}

QString QtSettingsPanels::openFile(QWidget *parent, const QStringList &suffixes)
{
    QStringList patterns;
    for (const QString &suffix : suffixes)
        patterns.append(QStringLiteral("*.") + suffix);
    const QString filter = Localizer::localizedString("Localized-Settings", "TEXT_FILES_FILTER")
                           + QStringLiteral(" (") + patterns.join(u' ') + u')';
    return QFileDialog::getOpenFileName(parent, Localizer::localizedString("Localized-Settings", "CHOOSE_BLACKLIST_FILE"),
                                        QString(), filter);
}

std::optional<FontDescriptor> QtSettingsPanels::chooseFont(QWidget *parent, const FontDescriptor &current)
{
    QFont initial(current.family);
    initial.setPointSizeF(current.pointSize);
    initial.setBold(current.bold);
    initial.setItalic(current.italic);
    bool chosen = false;
    const QFont font = QFontDialog::getFont(&chosen, initial, parent);
    if (!chosen)
        return std::nullopt;
    FontDescriptor result;
    result.family = font.family();
    result.pointSize = font.pointSizeF() > 0 ? font.pointSizeF() : current.pointSize;
    result.bold = font.bold();
    result.italic = font.italic();
    return result;
}
