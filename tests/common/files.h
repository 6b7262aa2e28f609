#pragma once
// Raw bytes in and out of scratch files, for the tests of file formats.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

namespace testing {

inline void writeRaw(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

inline QByteArray readRaw(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace testing
