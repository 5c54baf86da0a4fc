#include "FileIO.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

bool FileIO::writeFileAtomically(const QString &path, const QByteArray &data)
{
    // The save file is renamed over its target, which would put a plain file
    // in place of a pipe or a device.
    if (const QFileInfo target(path); target.exists() && !target.isFile())
        return false;
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
    const auto tooLarge = [&] {
        if (error)
            *error = QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maxBytes);
        return std::nullopt;
    };
    // QIODevice::read(n) reserves all n bytes before it reads, so the limit
    // itself is never asked for: a regular file is read by its size, and
    // what comes after (a file that grew, a pipe) in pieces.
    const qint64 size = file.isSequential() ? 0 : file.size();
    if (size > maxBytes)
        return tooLarge();
    QByteArray data = file.read(size);
    constexpr qint64 Piece = 1 << 20;
    while (data.size() <= maxBytes) {
        const QByteArray piece = file.read(std::min(Piece, maxBytes + 1 - data.size()));
        if (piece.isEmpty())
            break;
        data += piece;
    }
    if (data.size() > maxBytes)
        return tooLarge();
    return data;
}
