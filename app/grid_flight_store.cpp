#include "app/grid_flight_store.h"

#include "logstore/flight_log.h"

#include <numeric>
#include <utility>

namespace cvlog
{

GridFlightStore::GridFlightStore(FlightLog& table, LogHistory* history)
    : table(table)
    , history(history)
    , store(table)
{
}

bool GridFlightStore::findFlight(const FlightRow& flight)
{
    return store.findFlight(flight);
}

void GridFlightStore::appendFlights(const std::vector<FlightRow>& rows)
{
    if (rows.empty())
        return;
    endUsersEdit();
    const std::uint32_t before = table.recordCount();
    store.appendFlights(rows);
    if (history == nullptr)
        return;
    std::vector<std::uint32_t> added(table.recordCount() - before);
    std::iota(added.begin(), added.end(), before + 1);
    history->recordAppends(QStringLiteral("download"), std::move(added));
}

void GridFlightStore::endUsersEdit()
{
    const DbfTable::State state = table.state();
    if (state != DbfTable::State::Edit && state != DbfTable::State::Insert)
        return;
    const std::uint32_t rowsBefore = table.recordCount();
    const std::uint32_t before = table.insertPosition();
    // Writes a changed row with the grid's typed texts and drops an
    // unchanged one; throws, leaving the edit alone, when a field refuses a
    // text.
    table.refresh();
    if (state == DbfTable::State::Insert && table.recordCount() == rowsBefore) {
        returnTo = Return::ToNewRow;
        returnRow = before;
        return;
    }
    returnTo = Return::ToRow;
    returnRow = table.recordNumber();
}

void GridFlightStore::suspendDisplay()
{
    store.suspendDisplay();
    ++suspensions;
}

void GridFlightStore::resumeDisplay()
{
    if (suspensions == 0)
        return;
    if (--suspensions == 0 && returnTo != Return::None) {
        const Return to = std::exchange(returnTo, Return::None);
        // Runs while an import unwinds: a failure here must not replace the
        // import's own.
        try {
            if (table.isOpen() && returnRow != 0)
                table.moveToRecord(returnRow);
            if (table.isOpen() && to == Return::ToNewRow)
                table.insert();
        } catch (...) {
        }
    }
    store.resumeDisplay();
}

} // namespace cvlog
