#pragma once
// Shared pieces of the window tests: a program directory of their own, the
// message boxes answered and recorded instead of shown, and file helpers.

#include "file_contents.h"

#include "app/cvlog_application.h"
#include "app/main_window.h"

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace cvlog::test
{

// Answers every message box and file dialog while it lives, and keeps what
// was asked: `answers` for the next boxes (OK or Yes when none is queued),
// `fileAnswerer` or `fileAnswers` for the file dialogs.
class MessageRecorder : public ScriptedAnswers
{
public:
    MessageRecorder()
        : ScriptedAnswers(Boxes::Unseen)
        , inPlace_(*this)
    {
    }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

private:
    AnswersInPlace inPlace_;
};

// The row count in a dBase III header.
inline std::uint32_t HeaderCount(const QByteArray& bytes)
{
    if (bytes.size() < 8)
        return UINT32_MAX;
    std::uint32_t n = 0;
    for (int i = 7; i >= 4; --i)
        n = (n << 8) | static_cast<unsigned char>(bytes[i]);
    return n;
}

// Names the device file behind COM1..COM8 in the settings' [Ports] section,
// after whatever the file holds already.
inline void MapPortsTo(const QString& iniPath, const QString& device)
{
    QByteArray ini = ReadAll(iniPath);
    if (!ini.isEmpty() && !ini.endsWith('\n'))
        ini += '\n';
    ini += "[Ports]\n";
    for (int n = 1; n <= 8; ++n)
        ini += "COM" + QByteArray::number(n) + '=' + device.toLocal8Bit() + '\n';
    WriteAll(iniPath, ini);
}

class WindowTest : public ::testing::Test
{
protected:
    static QDate Today() { return QDate(2026, 3, 5); }

    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString file(const char* name) const { return dir.path() + QLatin1Char('/') + QLatin1String(name); }

    std::unique_ptr<TForm1> makeWindow()
    {
        const std::filesystem::path folder = dir.path().toStdString();
        return std::make_unique<TForm1>(
            StartupOptions { .dataDirectory = folder, .today = Today(), .libraryDirectories = { folder } });
    }

    QTemporaryDir dir;
    MessageRecorder messages;
};

} // namespace cvlog::test
