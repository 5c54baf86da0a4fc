#include "TestSupport.h"

#include <QFile>

QString testDataPath(const QString &relative)
{
    return QStringLiteral(CORV_TEST_DATA_DIR "/") + relative;
}

QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
