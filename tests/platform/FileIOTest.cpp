#include "FileIO.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
