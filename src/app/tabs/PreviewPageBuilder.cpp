#include "PreviewPageBuilder.h"

#include "AttachmentManager.h"
#include "AttributedTagString.h"
#include "Database.h"
#include "MessageTab.h"
#include "Personalizer.h"

#include "AppException.h"
#include "Localizer.h"

#include <QFileInfo>

namespace {

const QString PlainPage = QStringLiteral(
    "<html><body bgcolor=\"#FFFFFF\"><font style=\"font-family:monaco;font-size:10px;\"><pre "
    "style=\"font-family:monaco;font-size:10px;white-space: pre-wrap;\">%1</pre></font></body></html>");

QString headerAndBody(const Database &database, const MessageTab &message, const AttachmentManager &attachments,
                      int row)
{
    Personalizer personalizer(database);
    personalizer.setAddressNumber(row);
    personalizer.setUseLocalPath(true);

    QString page = QStringLiteral("<html><body><div style=\"width:100%;background:white;\"><table border=\"0\" "
                                  "cellspacing=\"0\" cellpadding=\"3\" "
                                  "style=\"font-family:Helvetica,Arial,sans-serif;font-size:12px;\">");
    const QString subject =
        AttributedTagString::taglessString(personalizer.personalizeAttributedString(message.subjectString()));
    page += QStringLiteral("<tr><td><b>") + Localizer::localizedString("Localized-Preview", "Subject")
        + QStringLiteral(":</b></td><td>") + subject.toHtmlEscaped();

    for (int i = 0; i < attachments.attachmentCount(); ++i) {
        const AttachmentRef attachment = attachments.attachmentAtIndex(i);
        if (!attachment)
            continue;
        // Resolved without touching the list's objects: a run may be
        // reading them.
        const AttachmentResolution resolution = attachment->resolve(&personalizer);
        if (i == 0) {
            page += QStringLiteral("</td></tr><tr><td valign=\"top\"><b>")
                + Localizer::localizedString("Localized-Preview", "Attachments") + QStringLiteral(":</b></td><td>");
        } else {
            page += QStringLiteral("</td></tr><tr><td>&nbsp;</td><td>");
        }
        const QString name = QFileInfo(resolution.filePath).fileName().toHtmlEscaped();
        if (resolution.decision == AttachmentResolution::Decision::Attach)
            page += name;
        else
            page += QStringLiteral("<span style=\"color:red;\">") + name + QStringLiteral("</span>");
    }
    page += QStringLiteral("</td></tr></table></div><hr>");

    if (message.htmlPartAvailable()) {
        page += message.htmlTextStringWithFullPath(true, QStringLiteral(""), personalizer);
    } else {
        QString plain = message.plainTextStringWithPersonalizer(personalizer);
        plain.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
        plain.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
        page += PlainPage.arg(plain);
    }
    page += QStringLiteral("</body></html>");
    return page;
}

} // namespace

int PreviewPageBuilder::clampedRow(int row, int rowCount)
{
    if (row > rowCount - 1)
        row = rowCount - 1;
    return row < 0 ? 0 : row;
}

PreviewPage PreviewPageBuilder::build(const Database &database, const MessageTab &message,
                                      const AttachmentManager &attachments, int row)
{
    PreviewPage page;
    const int count = database.entryCount();
    if (count == 0) {
        page.counter = QStringLiteral("0");
        page.html = Localizer::localizedString("Localized", "PREVIEW_EMPTY_DATABASE").toHtmlEscaped();
        return page;
    }
    page.row = clampedRow(row, count);
    const QString address = database.addressForEntry(page.row);
    page.address = address.isEmpty() ? QStringLiteral("???") : address;
    page.counter = QStringLiteral("%1 / %2").arg(QString::number(page.row + 1), QString::number(count));
    for (const QString &file : message.inlineAttachments()) {
        const QString folder = QFileInfo(file).absolutePath();
        if (!page.localFolders.contains(folder))
            page.localFolders.append(folder);
    }
    try {
        page.html = headerAndBody(database, message, attachments, page.row);
    } catch (const AppException &exception) {
        // A row the personaliser does not know: an error page, not an
        // error for the user to report.
        page.html = QStringLiteral("<html><body><p>") + exception.errorDescription().toHtmlEscaped()
            + QStringLiteral("</p></body></html>");
    }
    return page;
}
