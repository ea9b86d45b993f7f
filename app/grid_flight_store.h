#pragma once
// The import's view of the main table while the user works in the grid.
//
// A download may bring a flight while the user is typing into a row. The
// row is written first, with the text typed so far (the grid hands its edits
// over, as it does before any move), and once the flights are in, the view
// goes back to that row: the user's next keystrokes land in their own row,
// not in the flight that was appended last. A text the field refuses stops
// the import instead; the user's edit stays as it was, and the flight comes
// again with the next link.

#include "link/dbf_flight_store.h"
#include "link/link_ports.h"

#include <cstdint>

namespace cvlog
{

class DbfTable;

class GridFlightStore : public FlightStore
{
public:
    explicit GridFlightStore(DbfTable& table);

    bool findFlight(const FlightRow& flight) override;
    void appendFlights(const std::vector<FlightRow>& rows) override;
    void suspendDisplay() override;
    void resumeDisplay() override;

private:
    DbfTable& table;
    DbfFlightStore store;
    int suspensions = 0;
    // The row whose edit an import ended; the view returns to it after every
    // flight of the download for as long as the user stays on it. 0: none.
    std::uint32_t userRow = 0;
};

} // namespace cvlog
