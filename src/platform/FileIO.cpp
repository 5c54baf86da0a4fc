#include "FileIO.h"

#include <QFile>
#include <QSaveFile>

bool FileIO::writeFileAtomically(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::optional<QByteArray> FileIO::readFileLimited(const QString &path, qint64 maxBytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    // One byte more than allowed tells a file that is too large from one
    // exactly at the limit, also for files whose size is not known up front.
    QByteArray data = file.read(maxBytes + 1);
    if (data.size() > maxBytes) {
        if (error)
            *error = QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maxBytes);
        return std::nullopt;
    }
    return data;
}
