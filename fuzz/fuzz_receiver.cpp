// Arbitrary bytes, split at arbitrary points, through the receiver, the
// dispatcher and the import, with a real table file behind them. The input
// is a script: each control byte either runs a tick, opens or closes the
// table, or says how many of the following bytes arrive next and by which
// path.

#include "link/dbf_flight_store.h"
#include "link/link_driver.h"

#include "../tests/link/link_fakes.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace
{

using namespace cvlog;

constexpr std::uint8_t kTick = 0xFF;
constexpr std::uint8_t kToggleTable = 0xFE;
constexpr std::uint8_t kUsbPathBit = 0x80;
constexpr std::uint8_t kLengthMask = 0x3F;
// Kept small so each run stays fast.
constexpr std::uint32_t kMaxRows = 64;

struct Table {
    Table()
    {
        char pattern[] = "/tmp/cvlog_fuzz_receiver_XXXXXX";
        const char* dir = mkdtemp(pattern);
        if (dir == nullptr)
            std::abort();
        path = std::filesystem::path(dir) / "CVLOG.DBF";
        table.setPath(path);
        reset();
    }
    ~Table()
    {
        try {
            table.close();
        } catch (const std::exception&) {
            // The directory goes anyway.
        }
        std::error_code ignored;
        std::filesystem::remove_all(path.parent_path(), ignored);
    }
    void reset()
    {
        if (table.isOpen())
            table.close();
        table.create(logTableFields());
        table.open();
    }

    std::filesystem::path path;
    FlightLog table;
};

Table& SharedTable()
{
    static Table t;
    return t;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    Table& t = SharedTable();
    if (!t.table.isOpen() || t.table.recordCount() > kMaxRows)
        t.reset();

    DbfFlightStore store(t.table);
    test::LinkRig rig(store);
    rig.link.usbActive = (data[0] & 1) != 0;
    rig.host.dialogShowing = (data[0] & 2) != 0;
    rig.host.dialogText = (data[0] & 4) != 0 ? QStringLiteral("EA15") : QStringLiteral("EA1");
    rig.host.date = QDate(2024, 1, 1).addDays(data[1] * 3);

    std::size_t i = 2;
    while (i < size) {
        const std::uint8_t control = data[i++];
        if (control == kTick) {
            rig.driver.tick();
            continue;
        }
        if (control == kToggleTable) {
            if (t.table.isOpen())
                t.table.close();
            else
                t.table.open();
            continue;
        }
        const std::size_t n = std::min<std::size_t>((control & kLengthMask) + 1u, size - i);
        const std::uint8_t* chunk = data + i;
        i += n;
        if ((control & kUsbPathBit) != 0) {
            rig.usb.queue.insert(rig.usb.queue.end(), chunk, chunk + n);
            rig.driver.pollUsb();
        } else {
            rig.serial.incoming.insert(rig.serial.incoming.end(), chunk, chunk + n);
            // The channel may announce more than it then hands over.
            rig.driver.dataArrived(static_cast<int>(n + (control & 0x40 ? 7 : 0)));
        }
    }
    if (!t.table.isOpen())
        t.table.open();
    return 0;
}
