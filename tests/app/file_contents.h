#pragma once
// A whole file's bytes, for the window tests and the tests of the program
// started as a process (which link no window code).

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

namespace cvlog::test
{

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

inline void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

} // namespace cvlog::test
