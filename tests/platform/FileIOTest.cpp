#include "FileIO.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

// The limit bounds what is read, never what is reserved: a caller may
// allow far more than memory holds, and files whose size is not known up
// front (those under /proc) are read whole.
TEST(FileIO, ReadsWithinTheLimitWithoutReservingIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("small"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write("0123456789"), 10);
    }
    EXPECT_EQ(FileIO::readFileLimited(path, 1LL << 42).value_or("failed"), "0123456789");
    EXPECT_EQ(FileIO::readFileLimited(path, 10).value_or("failed"), "0123456789");
    QString error;
    EXPECT_FALSE(FileIO::readFileLimited(path, 9, &error));
    EXPECT_TRUE(error.contains(QLatin1String("larger than 9 bytes"))) << error.toStdString();

    const std::optional<QByteArray> status = FileIO::readFileLimited(QStringLiteral("/proc/self/status"), 1 << 20);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->contains("VmHWM:"));
    EXPECT_FALSE(FileIO::readFileLimited(QStringLiteral("/proc/self/status"), 16));
    EXPECT_FALSE(FileIO::readFileLimited(dir.filePath(QStringLiteral("missing")), 16, &error));
    EXPECT_TRUE(error.contains(QLatin1String("cannot open")));
}

// Large files go past the page cache where the file system allows it and
// through it where it does not (tmpfs); either way the file is replaced
// whole with its permissions kept, and a failed write leaves the old file
// and nothing beside it.
TEST(FileIO, LargeFilesAreReplacedWholeOrNotAtAll)
{
    QTemporaryDir onDisk;
    QTemporaryDir inMemory(QStringLiteral("/dev/shm/corv-fileio-XXXXXX"));
    ASSERT_TRUE(onDisk.isValid());
    QByteArray data((64 << 20) + 4097, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char((i * 7919) >> 5);

    for (QTemporaryDir *dir : {&onDisk, &inMemory}) {
        if (!dir->isValid())
            continue;
        SCOPED_TRACE(dir->path().toStdString());
        const QString path = dir->filePath(QStringLiteral("table"));
        {
            QFile old(path);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        for (const qsizetype size : {data.size(), qsizetype(64 << 20), data.size() - 1}) {
            const QByteArray part = data.left(size);
            QString error;
            ASSERT_TRUE(FileIO::writeFileAtomically(path, part, &error)) << error.toStdString();
            EXPECT_EQ(FileIO::readFileLimited(path, 1 << 30).value_or("failed"), part);
        }
        struct stat info {};
        ASSERT_EQ(stat(QFile::encodeName(path).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0640u);
        // A link is followed, as small files' saves follow it: the file it
        // leads to is replaced and the link stays.
        const QString link = dir->filePath(QStringLiteral("link"));
        ASSERT_TRUE(QFile::link(path, link));
        ASSERT_TRUE(FileIO::writeFileAtomically(link, data));
        EXPECT_TRUE(QFileInfo(link).isSymLink());
        EXPECT_EQ(FileIO::readFileLimited(path, 1 << 30).value_or("failed"), data);
        ASSERT_TRUE(QFile::remove(link));
        ASSERT_TRUE(FileIO::writeFileAtomically(path, data.left(data.size() - 1)));

        QString error;
        bool written = false;
        {
            const FileSizeLimit limit(1 << 20);
            ASSERT_TRUE(limit.isSet());
            written = FileIO::writeFileAtomically(path, data, &error);
        }
        EXPECT_FALSE(written);
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(FileIO::readFileLimited(path, 1 << 30).value_or("failed"), data.left(data.size() - 1));
        EXPECT_EQ(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("table")});
    }
}
