#include "HelpButton.h"

#include "AppPaths.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

HelpButton::HelpButton(QWidget *parent)
    : QPushButton(parent)
{
    connect(this, &QPushButton::clicked, this, &HelpButton::helpButtonClicked);
}

QString HelpButton::helpFileForAnchor(const QString &anchor)
{
    // The anchor names a page inside the help folder, never a path out of it.
    if (anchor.isEmpty() || anchor.contains(QLatin1Char('/')) || anchor.contains(QLatin1Char('\\'))
        || anchor.startsWith(QLatin1Char('.')))
        return {};
    const QFileInfo page(AppPaths::resourcesPath() + QStringLiteral("/help/") + anchor + QStringLiteral(".html"));
    return page.isFile() ? page.absoluteFilePath() : QString();
}

void HelpButton::helpButtonClicked()
{
    // Missing help is not worth an alert: the button simply does nothing.
    const QString page = helpFileForAnchor(m_alternateTitle);
    if (!page.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}
