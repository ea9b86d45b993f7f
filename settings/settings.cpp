#include "settings/settings.h"

#include "logstore/conversions.h"
#include "settings/ini_file.h"

#include <QStringList>

#include <algorithm>
#include <optional>
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
const QString kReport = QStringLiteral("Report");
const QString kPageTotals = QStringLiteral("PageTotals");
const QString kOpeningTotals = QStringLiteral("OpeningTotals");
const QString kOpeningFlights = QStringLiteral("Flights");
const QString kOpeningMinutes = QStringLiteral("FlightMinutes");
const QString kOpeningHobbs = QStringLiteral("HobbsMinutes");
const QString kOpeningDate = QStringLiteral("Date");
const QString kIsoDate = QStringLiteral("yyyy-MM-dd");

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

const QString kCurrency = QStringLiteral("Currency");
constexpr int kMostFlights = 9999;
constexpr std::int64_t kMostMinutes = 9999 * 60;
constexpr int kMostDays = 36525;
constexpr int kMostMonths = 1200;

std::optional<CurrencyRule> currencyRuleOf(const QString& text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() < 5)
        return std::nullopt;
    bool flightsOk = false;
    bool minutesOk = false;
    bool lengthOk = false;
    CurrencyRule rule;
    rule.flights = parts[0].trimmed().toInt(&flightsOk);
    rule.minutes = parts[1].trimmed().toLongLong(&minutesOk);
    rule.length = parts[2].trimmed().toInt(&lengthOk);
    const QString span = parts[3].trimmed();
    if (span != QLatin1String("D") && span != QLatin1String("M"))
        return std::nullopt;
    rule.span = span == QLatin1String("M") ? CurrencyRule::Span::Months : CurrencyRule::Span::Days;
    // An instrument's name may itself hold a comma: it is the rest.
    rule.instrument = parts.mid(4).join(u',').trimmed();
    if (!flightsOk || !minutesOk || !lengthOk || !currencyRuleFault(rule).isEmpty())
        return std::nullopt;
    return rule;
}

QString currencyRuleText(const CurrencyRule& rule)
{
    return QStringLiteral("%1,%2,%3,%4,%5")
        .arg(rule.flights)
        .arg(rule.minutes)
        .arg(rule.length)
        .arg(rule.span == CurrencyRule::Span::Months ? QStringLiteral("M") : QStringLiteral("D"))
        .arg(rule.instrument);
}

std::optional<std::int64_t> plainCount(const std::optional<QString>& text)
{
    if (!text)
        return std::nullopt;
    bool ok = false;
    const std::int64_t value = text->trimmed().toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

} // namespace

bool readPageTotals(const std::filesystem::path& iniPath)
{
    const auto text = IniFile(iniPath).readString(kReport, kPageTotals);
    return text && integerOrDefault(*text, 0) != 0;
}

void writePageTotals(const std::filesystem::path& iniPath, bool on)
{
    IniFile(iniPath).writeString(kReport, kPageTotals, on ? QStringLiteral("1") : QStringLiteral("0"));
}

std::optional<OpeningTotals> readOpeningTotals(const std::filesystem::path& iniPath)
{
    const IniFile ini(iniPath);
    const auto flights = plainCount(ini.readString(kOpeningTotals, kOpeningFlights));
    const auto minutes = plainCount(ini.readString(kOpeningTotals, kOpeningMinutes));
    const auto hobbs = plainCount(ini.readString(kOpeningTotals, kOpeningHobbs));
    const auto date = ini.readString(kOpeningTotals, kOpeningDate);
    if (!flights || !minutes || !hobbs || !date)
        return std::nullopt;
    const OpeningTotals totals { *flights, *minutes, *hobbs, QDate::fromString(date->trimmed(), kIsoDate) };
    if (!isSoundOpening(totals))
        return std::nullopt;
    return totals;
}

void writeOpeningTotals(const std::filesystem::path& iniPath, const std::optional<OpeningTotals>& totals)
{
    auto number = [&](std::int64_t OpeningTotals::*member) {
        return totals ? QString::number((*totals).*member) : QString();
    };
    IniFile(iniPath).writeStrings(kOpeningTotals,
        { { kOpeningFlights, number(&OpeningTotals::flights) },
            { kOpeningMinutes, number(&OpeningTotals::minutes) },
            { kOpeningHobbs, number(&OpeningTotals::hobbsMinutes) },
            { kOpeningDate, totals ? totals->date.toString(kIsoDate) : QString() } });
}

QString currencyRuleFault(const CurrencyRule& rule)
{
    if (rule.flights < 0 || rule.flights > kMostFlights)
        return QStringLiteral("The number of flights must be from 0 to %1.").arg(kMostFlights);
    if (rule.minutes < 0 || rule.minutes > kMostMinutes)
        return QStringLiteral("The flight time must be from 0 to %1 hours.").arg(kMostMinutes / 60);
    if (rule.flights == 0 && rule.minutes == 0)
        return QStringLiteral("A rule must ask for at least one flight or some flight time.");
    const bool months = rule.span == CurrencyRule::Span::Months;
    const int mostLength = months ? kMostMonths : kMostDays;
    if (rule.length < 1 || rule.length > mostLength) {
        return QStringLiteral("The number of %1 must be from 1 to %2.")
            .arg(months ? QStringLiteral("months") : QStringLiteral("days"))
            .arg(mostLength);
    }
    // The rule is one line of CVLog.ini.
    if (rule.instrument.contains(u'\n') || rule.instrument.contains(u'\r'))
        return QStringLiteral("The instrument's name must not hold a line break.");
    return {};
}

std::vector<CurrencyRule> readCurrencyRules(const std::filesystem::path& iniPath)
{
    const IniFile ini(iniPath);
    const auto count = ini.readString(kCurrency, QStringLiteral("Count"));
    if (!count)
        return { CurrencyRule {} };
    std::vector<CurrencyRule> rules;
    const int n = std::clamp(integerOrDefault(*count, 0), 0, kMostCurrencyRules);
    for (int i = 1; i <= n; ++i) {
        if (const auto text = ini.readString(kCurrency, QStringLiteral("Rule%1").arg(i))) {
            if (const auto rule = currencyRuleOf(*text))
                rules.push_back(*rule);
        }
    }
    return rules;
}

void writeCurrencyRules(const std::filesystem::path& iniPath, const std::vector<CurrencyRule>& rules)
{
    std::vector<std::pair<QString, QString>> entries { { QStringLiteral("Count"),
        QString::number(std::min<std::size_t>(rules.size(), kMostCurrencyRules)) } };
    for (std::size_t i = 0; i < rules.size() && i < kMostCurrencyRules; ++i)
        entries.emplace_back(QStringLiteral("Rule%1").arg(i + 1), currencyRuleText(rules[i]));
    IniFile(iniPath).writeStrings(kCurrency, entries);
}

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
