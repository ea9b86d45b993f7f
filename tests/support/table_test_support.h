#pragma once
// The table tests' fixture: a scratch directory, a log set up as the main
// window sets up its own, and whole file reads and writes.

#include "file_bytes.h"
#include "logstore/flight_log.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace cvlog::testing
{

inline std::uint32_t le32(const std::string& bytes, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
    return v;
}

inline const QDate kStampDate(2026, 3, 5);

class TableTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    std::filesystem::path file(const char* name = "CVLog.dbf") const
    {
        return std::filesystem::path(dir_.path().toStdString()) / name;
    }

    // A view set up as the main window sets up its main view.
    void setUpMainView(FlightLog& table, const std::filesystem::path& path) const
    {
        table.setPath(path);
        table.setDateSource([] { return kStampDate; });
    }

    void createLog(const std::filesystem::path& path) const
    {
        FlightLog t;
        setUpMainView(t, path);
        t.create(logTableFields());
    }

    // A flight row with the given values, posted through the view.
    static void appendFlight(
        FlightLog& t, const QDate& date, const QString& time, int minutes, const QString& comment = {})
    {
        t.append();
        t.setDate(kTakeoffDate, date);
        t.setText(kTakeoffTime, time);
        t.setInteger(kFlightTime, minutes);
        t.setText(kComment, comment);
        t.post();
    }

    static std::vector<int> visibleMinutes(FlightLog& t)
    {
        std::vector<int> out;
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.integer(kFlightTime));
        return out;
    }

    QTemporaryDir dir_;
};

} // namespace cvlog::testing
