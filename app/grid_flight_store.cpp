#include "app/grid_flight_store.h"

#include "logstore/dbf_table.h"

namespace cvlog
{

GridFlightStore::GridFlightStore(DbfTable& table)
    : table(table)
    , store(table)
{
}

bool GridFlightStore::findFlight(const FlightRow& flight)
{
    return store.findFlight(flight);
}

void GridFlightStore::appendFlights(const std::vector<FlightRow>& rows)
{
    store.appendFlights(rows);
}

void GridFlightStore::suspendDisplay()
{
    if (suspensions == 0) {
        const DbfTable::State state = table.state();
        if (state == DbfTable::State::Edit || state == DbfTable::State::Insert) {
            // Writes a changed row with the grid's typed texts and drops an
            // unchanged one; throws, leaving the edit alone, when a field
            // refuses a text.
            table.refresh();
            userRow = table.recordNumber();
        } else if (table.recordNumber() != userRow) {
            userRow = 0; // the user has moved on since; the import leads again
        }
    }
    store.suspendDisplay();
    ++suspensions;
}

void GridFlightStore::resumeDisplay()
{
    if (suspensions == 0)
        return;
    if (--suspensions == 0 && userRow != 0) {
        // Runs while an import unwinds: a failure here must not replace the
        // import's own.
        try {
            if (table.isOpen())
                table.moveToRecord(userRow);
        } catch (...) {
        }
    }
    store.resumeDisplay();
}

} // namespace cvlog
