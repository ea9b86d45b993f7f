#include "settings/settings.h"

#include "logstore/conversions.h"
#include "settings/ini_file.h"

#include <string>

namespace cvlog
{

namespace
{

const QString kGeneral = QStringLiteral("General");
const QString kPorts = QStringLiteral("Ports");
const QString kFromDate = QStringLiteral("FromDate");
const QString kToDate = QStringLiteral("ToDate");
const QString kPort = QStringLiteral("PORT");

QString markKey(std::size_t index)
{
    return QStringLiteral("x%1").arg(index + 1);
}

std::int32_t readInteger(const std::filesystem::path& iniPath, const QString& key, std::int32_t fallback)
{
    const auto text = IniFile(iniPath).readString(kGeneral, key);
    if (!text)
        return fallback;
    // The profile reader's own hexadecimal form; the rest is the shared conversion.
    if (text->size() > 2 && text->startsWith(u'0') && (text->at(1) == u'x' || text->at(1) == u'X'))
        return integerOrDefault(QString(u'$' + text->mid(2)), fallback);
    return integerOrDefault(*text, fallback);
}

} // namespace

Settings readSettings(const std::filesystem::path& iniPath, std::int32_t todayDayNumber)
{
    Settings s;
    s.fromDate = readInteger(iniPath, kFromDate, todayDayNumber);
    s.toDate = readInteger(iniPath, kToDate, todayDayNumber);
    s.port = static_cast<std::uint8_t>(
        rangeOrDefault(readInteger(iniPath, kPort, kFirstPort), kFirstPort, kLastPort, kFirstPort));
    const Settings defaults;
    for (std::size_t i = 0; i < s.marks.size(); ++i)
        s.marks[i] = readInteger(iniPath, markKey(i), defaults.marks[i] ? 1 : 0) != 0;
    return s;
}

void writeSettings(const std::filesystem::path& iniPath, const Settings& s)
{
    std::vector<std::pair<QString, QString>> entries = {
        { kFromDate, QString::number(s.fromDate) },
        { kToDate, QString::number(s.toDate) },
        { kPort, QString::number(s.port) },
    };
    for (std::size_t i = 0; i < s.marks.size(); ++i)
        entries.emplace_back(markKey(i), QString::number(s.marks[i] ? 1 : 0));
    IniFile(iniPath).writeStrings(kGeneral, entries);
}

std::filesystem::path portDevicePath(const std::filesystem::path& iniPath, int portNumber)
{
    if (portNumber < kFirstPort || portNumber > kLastPort)
        throw std::out_of_range("No serial port COM" + std::to_string(portNumber));
    const auto given = IniFile(iniPath).readString(kPorts, QStringLiteral("COM%1").arg(portNumber));
    if (given && !given->isEmpty())
        return std::filesystem::path(given->toStdString());
    return "/dev/ttyS" + std::to_string(portNumber - kFirstPort);
}

} // namespace cvlog
