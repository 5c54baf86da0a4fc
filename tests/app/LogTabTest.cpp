// The log tab: the lines of a run with their styles, the log file, the log
// kept in the project file, and the log saved as RTF, read back by unrtf.

#include "SendTestSupport.h"

#include "../foundation_ui/RecordingAlertPresenter.h"

#include "RtfWriter.h"
#include "TestSupport.h"

#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

struct Style {
    bool bold;
    bool red;
};

// The style of the character at the position of the view's text.
Style styleAt(LogTab &log, int position)
{
    log.flush();
    QTextCursor cursor(log.textView()->document());
    cursor.setPosition(position + 1);
    const QTextCharFormat format = cursor.charFormat();
    return {format.fontWeight() >= QFont::Bold, format.foreground().color() == QColor(Qt::red)};
}

void writeRun(LogTab &log)
{
    log.clearLog();
    log.startLog();
    log.sentMailTo(QStringLiteral("a%2@x.test"), 1);
    log.mailErrorMessage(2, QStringLiteral("b@x.test"), QStringLiteral("refused: <b>x</b> %1"));
    log.doneMessage();
}

const QString RunText = QStringLiteral("-- Log start --\n\nSent mail to ( 1 ) a%2@x.test\nError sending mail to ( 2 ) "
                                       "b@x.test:\nrefused: <b>x</b> %1\n\nDone.\n");

TEST(LogTab, TheLinesOfARunInTheirStyles)
{
    Settings::setWriteLogFile(false);
    LogTab log;
    writeRun(log);
    // Addresses and server texts reach the log as they are: no "%n"
    // filled in twice, no markup read.
    EXPECT_EQ(logPlainText(log), RunText.toStdString());
    const QString text = log.textView()->toPlainText();
    const Style marker = styleAt(log, 0);
    const Style sent = styleAt(log, int(text.indexOf("Sent")));
    const Style error = styleAt(log, int(text.indexOf("refused")));
    const Style done = styleAt(log, int(text.indexOf("Done")));
    EXPECT_FALSE(marker.bold || marker.red);
    EXPECT_FALSE(sent.bold || sent.red);
    EXPECT_TRUE(error.bold && error.red);
    EXPECT_TRUE(done.bold && !done.red);

    // The given text goes in as it is, without a line end of its own.
    log.clearLog();
    log.errorMessage(QStringLiteral("No Addresses"));
    EXPECT_EQ(logPlainText(log), "\nError:\nNo Addresses");
}

TEST(LogTab, TheLogFileCollectsEveryRunWithoutMarkers)
{
    const QString path = SendLog::logFilePath();
    EXPECT_EQ(path, QDir::homePath() + "/Corvantiline Log.txt");
    QFile::remove(path);
    LogTab log;
    Settings::setWriteLogFile(false);
    writeRun(log);
    log.flush();
    EXPECT_FALSE(QFile::exists(path));

    Settings::setWriteLogFile(true);
    writeRun(log);
    writeRun(log);
    log.flush();
    const QString once = RunText.mid(QStringLiteral("-- Log start --\n\n").size());
    EXPECT_EQ(readWholeFile(path).toStdString(), (once + once).toUtf8().toStdString());

    // A folder of that name: the file is skipped, the view goes on.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path));
    writeRun(log);
    EXPECT_EQ(logPlainText(log), RunText.toStdString());
    EXPECT_TRUE(QDir().rmdir(path));
    Settings::setWriteLogFile(false);
}

TEST(LogTab, TheStoredLogComesBackWithItsStyles)
{
    Settings::setWriteLogFile(false);
    LogTab written;
    writeRun(written);
    const QVariant stored =
        KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(written.fileData()));
    ASSERT_EQ(stored.typeId(), QMetaType::QVariantMap);
    LogTab read;
    read.readFileData(stored.toMap());
    EXPECT_EQ(logPlainText(read), RunText.toStdString());
    const QString text = read.textView()->toPlainText();
    const Style error = styleAt(read, int(text.indexOf("refused")));
    EXPECT_TRUE(error.bold && error.red);
    read.readFileData(std::nullopt);
    EXPECT_EQ(logPlainText(read), RunText.toStdString());
}

TEST(LogTab, SavedAsRtfTheTextAndItsStylesSurviveAnOutsideReader)
{
    const QString unrtf = QStandardPaths::findExecutable(QStringLiteral("unrtf"));
    if (unrtf.isEmpty())
        GTEST_SKIP() << "unrtf is missing (scripts/install-deps.sh)";
    Settings::setWriteLogFile(false);
    RecordingAlertPresenter alerts;
    ScriptedFilePanels panels;
    QTemporaryDir folder;
    const QString address = QStringLiteral("{odd}\\name.m\u00fcller\U0001F600@x.test");
    LogTab log;
    log.clearLog();
    log.startLog();
    log.sentMailTo(address, 1);
    log.mailErrorMessage(2, address, QStringLiteral("<b>x</b>"));
    log.doneMessage();

    panels.answers.push_back({folder.filePath("log.rtf")});
    log.saveLog();
    EXPECT_EQ(panels.asked, QStringList{"save rtf"});
    EXPECT_TRUE(alerts.shown.isEmpty());
    const QByteArray rtf = readWholeFile(folder.filePath("log.rtf"));
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    for (const char c : rtf)
        ASSERT_LT(uchar(c), 0x80) << "RTF is ASCII; everything else is escaped";

    QProcess reader;
    reader.start(unrtf, {QStringLiteral("--html"), folder.filePath("log.rtf")});
    ASSERT_TRUE(reader.waitForFinished(30000));
    const QString html = QString::fromUtf8(reader.readAllStandardOutput());
    // unrtf writes characters outside ASCII as HTML entities.
    QTextDocument parsed;
    parsed.setHtml(html);
    const QString text = parsed.toPlainText();
    EXPECT_TRUE(text.contains("Sent mail to ( 1 ) " + address)) << text.toStdString();
    EXPECT_TRUE(text.contains("<b>x</b>")) << "markup in an error text shows as text";
    EXPECT_TRUE(html.contains("<b>")) << html.toStdString();
    EXPECT_TRUE(html.contains("#ff0000", Qt::CaseInsensitive)) << html.toStdString();

    // A path that cannot be written is reported, not passed over.
    panels.answers.push_back({folder.filePath("missing/log.rtf")});
    log.saveLog();
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown.front().title, "The log could not be saved");
}

} // namespace
