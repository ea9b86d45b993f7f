#pragma once
// The import's view of the main table while the user works in the grid.
//
// A download may end while the user is typing into a row. Only then, when
// its flights are appended, is the row written, with the text typed so far
// (the grid hands its edits over, as it does before any move); the reads
// and searches of the download leave the user alone. Once the flights are
// in, the view goes back to that row, or to a new empty row where the user
// had just started one: the next keystrokes land where the user was, not in
// a downloaded flight. A text the field refuses stops the append instead;
// the user's edit stays as it was, and the flights come again with the next
// link. The flights of one append are one step of the history: undo takes
// them back together.

#include "link/dbf_flight_store.h"
#include "link/link_ports.h"
#include "logstore/log_history.h"

#include <cstdint>

namespace cvlog
{

class GridFlightStore : public FlightStore
{
public:
    // The history, when given, hears of every append as a download.
    explicit GridFlightStore(FlightLog& table, LogHistory* history = nullptr);

    bool findFlight(const FlightRow& flight) override;
    void appendFlights(const std::vector<FlightRow>& rows) override;
    void suspendDisplay() override;
    void resumeDisplay() override;

private:
    // Writes what the user typed before the flights go in.
    void endUsersEdit();

    FlightLog& table;
    LogHistory* history;
    DbfFlightStore store;
    int suspensions = 0;
    // Where the view goes once the flights are in: the row whose edit the
    // append ended, or (when the user had just started a new row and typed
    // nothing yet) a new row again, in front of the row it stood before.
    enum class Return { None, ToRow, ToNewRow };
    Return returnTo = Return::None;
    std::uint32_t returnRow = 0;
};

} // namespace cvlog
