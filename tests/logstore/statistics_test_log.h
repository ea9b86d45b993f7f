#pragma once
// A log of chosen flights for the statistics' tests: written through the
// log's fields by name, in the program's layout of the fields or in another
// program's.

#include "logstore/flight_log.h"
#include "table_test_support.h"

#include <QDate>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cvlog::testing
{

struct Flight {
    QDate date; // invalid: none
    std::optional<int> minutes; // none: the field stays null
    std::optional<int> feet;
    std::optional<int> mph;
    QString instrument;
    std::optional<int> student = {};
};

inline const QDate kToday(2026, 3, 15);

// The log fields in the order the program creates them.
inline std::vector<FieldDef> programLayout()
{
    return logTableFields();
}

// The same fields as another program may rewrite them: reversed, named in
// other capitals, behind a column of its own.
inline std::vector<FieldDef> foreignLayout()
{
    std::vector<FieldDef> fields = logTableFields();
    std::reverse(fields.begin(), fields.end());
    for (FieldDef& f : fields)
        f.name = f.name.toLower();
    fields.insert(fields.begin(), { QStringLiteral("PILOT"), FieldType::Text, 12 });
    return fields;
}

class Statistics : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    // A log of the given flights, written through the view by field name;
    // the flights in `deleted` come first and are removed again.
    FlightLog& log(const std::vector<FieldDef>& layout, const std::vector<Flight>& flights,
        const std::vector<Flight>& deleted = {})
    {
        table_.setPath(std::filesystem::path(dir_.path().toStdString()) / "CVLog.dbf");
        table_.create(layout);
        table_.open();
        DbfTable& table = table_;
        auto add = [&](const Flight& f) {
            table_.append();
            if (const int pilot = table.fieldIndex(QStringLiteral("PILOT")); pilot >= 0)
                table.setText(pilot, QStringLiteral("another pilot"));
            if (f.date.isValid())
                table_.setDate(kTakeoffDate, f.date);
            if (f.minutes)
                table_.setInteger(kFlightTime, *f.minutes);
            if (f.feet)
                table_.setInteger(kMaxAltitude, *f.feet);
            if (f.mph)
                table_.setInteger(kMaxSpeed, *f.mph);
            table_.setText(kInstrument, f.instrument);
            if (f.student)
                table_.setInteger(kStudent, *f.student);
            table_.post();
        };
        for (const Flight& f : deleted) {
            add(f);
            table_.remove();
        }
        for (const Flight& f : flights)
            add(f);
        return table_;
    }

    // Stores a field's bytes unchecked, as a foreign writer may: where they
    // stand in the file is read from its header, as any reader of the file would.
    void storeField(std::uint32_t record, LogField field, const std::string& bytes)
    {
        const DbfTable& table = table_;
        const int at = table.fieldIndexOrThrow(logTableField(field).name);
        std::size_t offset = 1; // the deletion flag
        for (int i = 0; i < at; ++i)
            offset += static_cast<std::size_t>(table.field(i).width);
        const std::filesystem::path path = table_.path();
        table_.close();
        std::string file = cvlog::testing::readBytes(path);
        const std::uint32_t lengths = cvlog::testing::le32(file, 8); // of the header, then of a row
        file.replace((lengths & 0xFFFF) + (record - 1) * (lengths >> 16) + offset, bytes.size(), bytes);
        cvlog::testing::writeBytes(path, file);
        table_.open();
    }

    QTemporaryDir dir_;
    FlightLog table_;
};

} // namespace cvlog::testing
