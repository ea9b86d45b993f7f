#pragma once
// The import's view of the log table: the main view of "CVLog.dbf".

#include "link/link_ports.h"
#include "logstore/flight_log.h"

namespace cvlog
{

class DbfFlightStore : public FlightStore
{
public:
    explicit DbfFlightStore(FlightLog& log);

    bool findFlight(const FlightRow& flight) override;
    void appendFlights(const std::vector<FlightRow>& rows) override;
    void suspendDisplay() override;
    void resumeDisplay() override;

private:
    void appendFlight(const FlightRow& row);

    FlightLog& log;
};

} // namespace cvlog
