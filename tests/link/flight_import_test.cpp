#include "link_fakes.h"

#include <gtest/gtest.h>

namespace cvlog::test
{
namespace
{

TEST(FlightImport, YearIsInferredFromToday)
{
    struct Case {
        QDate today;
        int month, day;
        QDate expected;
    };
    const Case cases[] = {
        { { 2026, 3, 15 }, 12, 20, { 2025, 12, 20 } },
        { { 2026, 3, 15 }, 3, 10, { 2026, 3, 10 } },
        { { 2026, 3, 15 }, 3, 15, { 2026, 3, 15 } },
        // Later this month than today would be in the future: last year.
        { { 2026, 3, 15 }, 3, 31, { 2025, 3, 31 } },
        { { 2026, 12, 8 }, 12, 20, { 2025, 12, 20 } },
        { { 2026, 12, 8 }, 12, 8, { 2026, 12, 8 } },
        { { 2026, 12, 8 }, 11, 30, { 2026, 11, 30 } },
        { { 2026, 3, 15 }, 4, 1, { 2025, 4, 1 } },
        { { 2027, 1, 1 }, 12, 31, { 2026, 12, 31 } },
        // 29 February: the last leap year's, whatever day the slot is read on.
        { { 2026, 1, 1 }, 2, 29, { 2024, 2, 29 } },
        { { 2026, 12, 9 }, 2, 29, { 2024, 2, 29 } },
        { { 2024, 3, 1 }, 2, 29, { 2024, 2, 29 } },
        { { 2025, 1, 5 }, 2, 29, { 2024, 2, 29 } },
        { { 2024, 2, 28 }, 2, 29, { 2020, 2, 29 } },
        { { 2101, 3, 1 }, 2, 29, { 2096, 2, 29 } },
        // Garbled slots.
        { { 2026, 3, 15 }, 0, 10, { 2026, 3, 15 } },
        { { 2026, 3, 15 }, 13, 10, { 2026, 3, 15 } },
        { { 2026, 3, 15 }, 2, 0, { 2026, 3, 15 } },
        { { 2026, 3, 15 }, 4, 31, { 2026, 3, 15 } },
        { { 2026, 3, 15 }, 255, 254, { 2026, 3, 15 } },
    };
    for (const Case& c : cases) {
        FlightRecord r;
        r.month = static_cast<std::uint8_t>(c.month);
        r.day = static_cast<std::uint8_t>(c.day);
        EXPECT_EQ(takeoffDate(r, c.today), c.expected)
            << c.today.toString(Qt::ISODate).toStdString() << " " << c.month << "/" << c.day;
    }
}

TEST(FlightImport, TakeoffTimeText)
{
    struct Case {
        unsigned hour, minute;
        const char* text;
    };
    const Case cases[] = { { 9, 5, "9:05" }, { 14, 30, "14:30" }, { 0, 0, "0:00" }, { 123, 45, "123:4" },
        { 255, 255, "255:2" }, { 7, 99, "7:99" }, { 12, 255, "12:25" } };
    for (const Case& c : cases)
        EXPECT_EQ(formatTakeoffTime(c.hour, c.minute), c.text) << c.hour << ":" << c.minute;
}

TEST(FlightImport, RowValuesInStoredUnits)
{
    const std::uint8_t slot[FlightRecord::kSize]
        = { 20, 12, 9, 5, 30, 1, 0x34, 0x12, 0x10, 0x27, 5, 12, 3, 200 };
    const FlightRow row = flightRowFor(FlightRecord::fromBytes(slot), QDate(2026, 3, 15), "EA15");
    EXPECT_EQ(row.takeoffDate, QDate(2025, 12, 20));
    EXPECT_EQ(row.takeoffTime, "9:05");
    EXPECT_EQ(row.flightTime, 90);
    EXPECT_EQ(row.maxSpeed, 0x1234);
    EXPECT_EQ(row.maxAltitude, 10000);
    EXPECT_EQ(row.hobbs, 18725);
    EXPECT_EQ(row.student, 200);
    EXPECT_EQ(row.instrument, "EA15");
}

// A flight is known only when its take-off, flight time and Hobbs time all
// match (and its instrument, where the row names one): an instrument whose
// clock was reset logs many flights at one date and minute.
TEST(FlightImport, AKnownFlightMatchesTakeoffDurationsAndInstrument)
{
    FakeStore store;
    LinkState link;
    FakeHost host;
    host.date = QDate(2026, 1, 1);
    link.instrumentSerial.length = 4;
    std::copy_n("F123", 4, link.instrumentSerial.chars.begin());
    FlightImport import(link, store, host);
    auto logged = [&](QDate date, const char* time, int minutes, int hobbs, const char* instrument) {
        FlightRow row;
        row.takeoffDate = date;
        row.takeoffTime = time;
        row.flightTime = minutes;
        row.hobbs = hobbs;
        row.instrument = QString::fromLatin1(instrument);
        store.rows.push_back(row);
    };
    logged(QDate(2025, 12, 31), "9:05", 30, 600, "F123");
    logged(QDate(2026, 1, 1), "10:00", 45, 640, ""); // typed by hand: no instrument

    struct Case {
        int month, day, hour, minute, flightMinutes, hobbsMinutes;
        bool pending; // held by this download already
        bool known;
    };
    const Case cases[] = {
        { 12, 31, 9, 5, 30, 0, false, true }, { 12, 31, 9, 5, 31, 0, false, false }, // another flight time
        { 12, 31, 9, 5, 30, 1, false, false }, // another Hobbs time
        { 12, 31, 9, 6, 30, 0, false, false }, { 12, 30, 9, 5, 30, 0, false, false },
        { 1, 1, 10, 0, 45, 40, false, true }, // the row names no instrument
        { 13, 1, 10, 0, 45, 40, false, true }, // no such date: looked for as today
        { 3, 3, 3, 3, 3, 3, true, true }, // read twice within one download
    };
    for (const Case& c : cases) {
        link.pendingCount = 0;
        import.currentRecord = FlightRecord {};
        import.currentRecord.month = static_cast<std::uint8_t>(c.month);
        import.currentRecord.day = static_cast<std::uint8_t>(c.day);
        import.currentRecord.hour = static_cast<std::uint8_t>(c.hour);
        import.currentRecord.minute = static_cast<std::uint8_t>(c.minute);
        import.currentRecord.flightMinutes = static_cast<std::uint8_t>(c.flightMinutes);
        // Hobbs 10:00 plus the case's minutes.
        import.currentRecord.hobbsHours = 10;
        import.currentRecord.hobbsMinutes = static_cast<std::uint8_t>(c.hobbsMinutes);
        if (c.pending) {
            ASSERT_TRUE(import.storePending());
        }
        EXPECT_EQ(import.isDuplicateFlight(), c.known) << c.month << "/" << c.day << " " << c.flightMinutes;
        EXPECT_EQ(store.depth, 0);
    }
}

TEST(FlightImport, PendingRecordsGoInLastFirst)
{
    FakeStore store;
    LinkState link;
    FakeHost host;
    FlightImport import(link, store, host);
    link.instrumentSerial.length = 4;
    std::copy_n("F123", 4, link.instrumentSerial.chars.begin());
    for (std::uint8_t minute : { 1, 2, 3 }) {
        import.currentRecord.month = 1;
        import.currentRecord.day = 2;
        import.currentRecord.minute = minute;
        ASSERT_TRUE(import.storePending());
    }
    EXPECT_EQ(import.flushPendingRecords(), 3u);
    EXPECT_EQ(store.appends, 1) << "one append for the whole download";
    ASSERT_EQ(store.rows.size(), 3u);
    EXPECT_EQ(store.rows[0].takeoffTime, "0:03");
    EXPECT_EQ(store.rows[2].takeoffTime, "0:01");
    EXPECT_EQ(store.rows[0].instrument, "F123");
    EXPECT_EQ(link.pendingCount, 0);

    link.pendingCount = FlightImport::kPendingCapacity;
    EXPECT_FALSE(import.storePending()) << "the buffer never overflows";
}

} // namespace
} // namespace cvlog::test
