#pragma once
// The import's view of the log table: the main view of "CVLog.dbf".

#include "link/link_ports.h"
#include "logstore/dbf_table.h"

namespace cvlog
{

class DbfFlightStore : public FlightStore
{
public:
    explicit DbfFlightStore(DbfTable& table);

    bool findFlight(const FlightRow& flight) override;
    void appendFlights(const std::vector<FlightRow>& rows) override;
    void suspendDisplay() override;
    void resumeDisplay() override;

private:
    void appendFlight(const FlightRow& row);

    DbfTable& table;
};

} // namespace cvlog
