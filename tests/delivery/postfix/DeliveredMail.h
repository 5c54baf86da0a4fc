#pragma once

// What a test Postfix (pf-up.sh) put in its Maildir, read back with Python's
// email package (mime_check.py --describe): one JSON object for each file.
// A page whose elements are not well nested fails the test that reads it.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <chrono>
#include <thread>

inline QString postfixFile(const QString &relative)
{
    return qEnvironmentVariable("CORV_PF_DIR") + '/' + relative;
}

// The delivered files whose header holds marker, once count of them have
// arrived (Postfix delivers after its 250); settleMs later once more, so
// that an extra copy would show too.
inline QList<QJsonObject> delivered(const QString &marker, int count, int settleMs = 0)
{
    const QDir inbox(postfixFile("mail/inbox/new"));
    const auto matching = [&] {
        QStringList found;
        for (const QString &name : inbox.entryList(QDir::Files, QDir::Name)) {
            // The markers are in the header: large files need not be read whole.
            QFile file(inbox.filePath(name));
            if (file.open(QIODevice::ReadOnly) && file.read(64 * 1024).contains(marker.toUtf8()))
                found.append(file.fileName());
        }
        return found;
    };
    QElapsedTimer timer;
    timer.start();
    QStringList found = matching();
    while (found.size() < count && timer.elapsed() < 60000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        found = matching();
    }
    if (settleMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
        found = matching();
    }
    EXPECT_EQ(found.size(), count) << "copies of " << marker.toStdString();
    if (found.isEmpty())
        return {};

    QProcess python;
    python.start("python3", QStringList{CORV_SOURCE_DIR "/tests/delivery/mime_check.py", "--describe"} + found);
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << "python3 could not read the messages: " << python.readAllStandardError().toStdString();
        return {};
    }
    QList<QJsonObject> result;
    for (const QByteArray &line : python.readAllStandardOutput().split('\n')) {
        if (line.isEmpty())
            continue;
        result.append(QJsonDocument::fromJson(line).object());
        // Every page that reaches a reader is read strictly: each end tag
        // closes the innermost open element.
        for (const QJsonValue &part : result.last()["parts"].toArray()) {
            const QJsonArray problems = part["nesting"].toArray();
            if (!problems.isEmpty())
                ADD_FAILURE() << "the page is not well nested: "
                              << QJsonDocument(problems).toJson(QJsonDocument::Compact).toStdString() << "\n"
                              << part["content"].toString().toStdString();
        }
    }
    return result;
}

// The Delivered-To addresses of all the copies, sorted.
inline QStringList deliveredTo(const QList<QJsonObject> &messages)
{
    QStringList addresses;
    for (const QJsonObject &message : messages) {
        for (const QJsonValue &to : message["deliveredTo"].toArray())
            addresses.append(to.toString());
    }
    addresses.sort();
    return addresses;
}
