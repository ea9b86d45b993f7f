#include "link/dbf_flight_store.h"

#include "link_fakes.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace cvlog::test
{
namespace
{

constexpr std::size_t kHeaderLength = 321;
constexpr std::size_t kRowLength = 127;

class RealTable : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("CVLOG.DBF").toStdString();
        table.setPath(path);
        table.create(logTableFields());
        table.open();
    }

    // Row n's bytes as the file holds them.
    std::string RowBytes(std::size_t n)
    {
        QFile file(QString::fromStdString(path));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray all = file.readAll();
        const std::size_t at = kHeaderLength + (n - 1) * kRowLength;
        if (static_cast<std::size_t>(all.size()) < at + kRowLength)
            return {};
        return all.mid(static_cast<qsizetype>(at), kRowLength).toStdString();
    }

    std::string readFile() const
    {
        QFile file(QString::fromStdString(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }

    std::size_t LiveRows()
    {
        std::size_t n = 0;
        table.findLive([&](const DbfRecord&) {
            ++n;
            return false;
        });
        return n;
    }

    QTemporaryDir dir;
    std::string path;
    FlightLog table;
    DbfFlightStore store { table };
};

void Download(LinkRig& rig, const Bytes& identity, const std::vector<Flight>& flights)
{
    rig.tick();
    rig.answer(IdentityReply(identity));
    rig.tick();
    rig.answer(PositionReply(0xF120));
    for (const Flight& f : flights) {
        if (rig.tick().size() != 8)
            return;
        rig.answer(RecordReply(f));
    }
    if (rig.tick().size() == 8)
        rig.answer(EmptySlotReply());
}

TEST_F(RealTable, ImportedRowsHoldTheStoredForms)
{
    LinkRig rig(store);
    Flight f;
    f.day = 20;
    f.month = 12;
    f.hour = 9;
    f.minute = 5;
    f.flightHours = 1;
    f.flightMinutes = 30;
    f.maxAltitude = 12345;
    f.maxSpeed = 95;
    f.hobbsMinutes = 5;
    f.hobbsHours = 12;
    f.hobbsHundreds = 3;
    f.student = 7;
    Flight g = f;
    g.hour = 123;
    g.minute = 45;
    Download(rig, LongIdentity("EA15-TARGET", "K2", "K901"), { f, g });
    ASSERT_TRUE(rig.host.errors.isEmpty()) << rig.host.errors.join(";").toStdString();

    // Read newest first, written oldest first: the order flown.
    EXPECT_EQ(RowBytes(1).substr(9, 5), "123:4");
    const std::string row = RowBytes(2);
    ASSERT_EQ(row.size(), kRowLength);
    EXPECT_EQ(row.substr(0, 1), " ");
    EXPECT_EQ(row.substr(1, 8), "20251220");
    EXPECT_EQ(row.substr(9, 5), "9:05 ");
    EXPECT_EQ(row.substr(14, 9), "       90");
    EXPECT_EQ(row.substr(23, 9), "    12345");
    EXPECT_EQ(row.substr(32, 9), "       95");
    EXPECT_EQ(row.substr(41, 9), "        7");
    EXPECT_EQ(row.substr(50, 9), "    18725");
    EXPECT_EQ(row.substr(59, 4), "EA15");
    EXPECT_EQ(row.substr(63, 64), std::string(64, ' '));
    EXPECT_EQ(table.recordCount(), 2u);
}

TEST_F(RealTable, KnownFlightsAreFoundOutsideTheFilterButNotAmongDeletedRows)
{
    const Flight known { 10, 3, 14, 30 };
    const Flight deleted { 11, 3, 15, 0 };
    {
        LinkRig rig(store);
        Download(rig, ShortIdentity("F123", "V1", "F123"), { deleted, known });
    }
    ASSERT_EQ(LiveRows(), 2u);
    table.last();
    ASSERT_EQ(table.text(kTakeoffTime), "15:00");
    table.remove();
    table.setFilterPredicate([](const DbfRecord&) { return false; });
    table.setFiltered(true);

    LinkRig rig(store);
    Download(rig, ShortIdentity("F123", "V1", "F123"), { deleted, known, Flight { 1, 1, 1, 1 } });
    EXPECT_TRUE(rig.host.errors.isEmpty());
    table.setFiltered(false);
    EXPECT_EQ(LiveRows(), 2u) << "the deleted flight came back, the known one ended the download";
    EXPECT_EQ(table.recordCount(), 3u);
    EXPECT_FALSE(table.controlsDisabled());
}

TEST_F(RealTable, AClosedTableStopsTheDownloadOnceAndTheNextLinkBringsTheFlight)
{
    LinkRig rig(store);
    const Bytes kite = ShortIdentity("F123", "V1", "F123");
    rig.tick();
    rig.answer(IdentityReply(kite));
    rig.tick();
    rig.answer(PositionReply(0xF120));
    rig.tick();
    table.close();
    rig.answer(RecordReply(Flight { 2, 2, 2, 2 }));
    EXPECT_EQ(rig.host.errors, QStringList { "Cannot perform this operation on a closed dataset" });
    EXPECT_FALSE(rig.link.requestNext);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rig.tick(), IdentityRequest(0xE1));
        rig.answer(IdentityReply(kite));
    }
    EXPECT_EQ(rig.host.errors.size(), 1);

    table.open();
    for (int i = 0; i < 5; ++i)
        rig.tick();
    Download(rig, kite, { Flight { 2, 2, 2, 2 } });
    EXPECT_EQ(LiveRows(), 1u);
    EXPECT_EQ(rig.host.errors.size(), 1);
}

// A download's flights stand in the log all together or not at all.
TEST_F(RealTable, ARefusedValueLeavesNoRowOfTheDownloadBehind)
{
    FlightRow row;
    row.takeoffDate = QDate(2026, 1, 2);
    row.takeoffTime = "1:00";
    row.flightTime = 5;
    row.hobbs = 600;
    FlightRow wide = row;
    wide.takeoffTime = "2:00";
    wide.flightTime = 1000000000; // wider than the column
    const std::string before = readFile();
    EXPECT_THROW(store.appendFlights({ row, wide, row }), DbfError);
    EXPECT_EQ(table.state(), DbfTable::State::Browse);
    EXPECT_EQ(table.recordCount(), 0u);
    EXPECT_EQ(readFile(), before);

    store.appendFlights({ row });
    EXPECT_TRUE(store.findFlight(row));
    // Counted in the header at once, for other programs that read the log.
    EXPECT_EQ(static_cast<unsigned char>(readFile().at(4)), 1);
    struct Variant {
        const char* name;
        std::function<void(FlightRow&)> change;
        bool found;
    };
    const Variant variants[] = {
        { "another time text", [](FlightRow& r) { r.takeoffTime = "1:0"; }, false },
        { "another year", [](FlightRow& r) { r.takeoffDate = QDate(2025, 1, 2); }, false },
        { "another flight time", [](FlightRow& r) { r.flightTime = 6; }, false },
        { "another Hobbs time", [](FlightRow& r) { r.hobbs = 601; }, false },
        { "another speed", [](FlightRow& r) { r.maxSpeed = 90; }, true },
        // The row was logged without an instrument: any instrument matches.
        { "an instrument", [](FlightRow& r) { r.instrument = QStringLiteral("F123"); }, true },
    };
    for (const Variant& v : variants) {
        FlightRow other = row;
        v.change(other);
        EXPECT_EQ(store.findFlight(other), v.found) << v.name;
    }
}

} // namespace
} // namespace cvlog::test
