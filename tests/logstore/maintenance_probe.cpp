// Runs one maintenance command on a log and kills itself with SIGKILL at the
// given step, as a crash or a pulled plug would end it there:
//   maintenance_probe wipe|backup|restore <table> <other file> <step> <count>
// <step> is a MaintenanceStep number; the process dies at its <count>th time.
//   maintenance_probe append <table> <rows> <file step> <count>
// appends the rows as one download would, and dies at the <count>th write
// step of that kind (a FileStep number).
#include "logstore/file_faults.h"
#include "logstore/flight_log.h"
#include "logstore/log_maintenance.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 6)
        return 2;
    const std::string command = argv[1];
    if (command == "append") {
        const auto killAt = static_cast<cvlog::FileStep>(std::atoi(argv[4]));
        int left = std::atoi(argv[5]);
        cvlog::setFileFaultHook([&](cvlog::FileStep step, const std::filesystem::path&) {
            if (step == killAt && --left == 0)
                std::raise(SIGKILL);
            return 0;
        });
        cvlog::FlightLog log;
        log.setPath(argv[2]);
        log.open();
        cvlog::AppendBatch batch(log);
        for (int i = 0; i < std::atoi(argv[3]); ++i) {
            log.append();
            log.setInteger(cvlog::kFlightTime, 100 + i);
            log.post();
        }
        batch.commit();
        return 0;
    }
    const auto killAt = static_cast<cvlog::MaintenanceStep>(std::atoi(argv[4]));
    int left = std::atoi(argv[5]);
    const cvlog::MaintenanceHook hook = [&](cvlog::MaintenanceStep step) {
        if (step == killAt && --left == 0)
            std::raise(SIGKILL);
    };
    cvlog::FlightLog log;
    cvlog::DbfTable source;
    log.setPath(argv[2]);
    try {
        log.open();
        if (command == "wipe")
            cvlog::wipeLog(log, hook);
        else if (command == "backup")
            cvlog::backupLog(log, argv[3], hook);
        else if (command == "restore")
            cvlog::restoreLog(log, source, argv[3], hook);
        else
            return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
