#pragma once
// A log table of many generated flights for the benchmarks: take-off dates
// over twenty years, every field filled, a comment on every fourth row.

#include "logstore/flight_log.h"

#include <QDate>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace cvlog::bench
{

inline constexpr int kDaysSpanned = 20 * 365;
inline const QDate kFirstDay(2006, 1, 1);

inline void putField(std::string& row, int offset, int width, const std::string& value, bool rightAligned)
{
    const std::string padded = rightAligned ? std::string(width - value.size(), ' ') + value
                                            : value + std::string(width - value.size(), ' ');
    row.replace(offset, width, padded);
}

// Writes the rows straight after the header of a freshly created table: the
// table counts its rows from the file's length.
inline void fillTable(const std::filesystem::path& path, int rows)
{
    constexpr int kRowLength = 127;
    constexpr int kHeaderLength = 321;
    DbfTable table;
    table.setPath(path);
    table.create(logTableFields());

    std::filesystem::resize_file(path, kHeaderLength); // drop the end-of-file byte
    std::ofstream out(path, std::ios::binary | std::ios::app);
    std::string chunk;
    std::string row(kRowLength, ' ');
    for (int i = 0; i < rows; ++i) {
        const QDate day = kFirstDay.addDays(i % kDaysSpanned);
        putField(row, 1, 8, day.toString(u"yyyyMMdd").toStdString(), false);
        putField(row, 9, 5, "9:05", false);
        putField(row, 14, 9, std::to_string(30 + i % 90), true);
        putField(row, 23, 9, std::to_string(1000 + i % 9000), true);
        putField(row, 32, 9, std::to_string(60 + i % 100), true);
        putField(row, 41, 9, std::to_string(i % 3), true);
        putField(row, 50, 9, std::to_string(i % 60000), true);
        putField(row, 59, 4, "A123", false);
        putField(row, 63, 64, i % 4 == 0 ? "cross country, " + std::to_string(i) : std::string(), false);
        chunk += row;
        if (chunk.size() > (1 << 20)) {
            out << chunk;
            chunk.clear();
        }
    }
    out << chunk << '\x1a';
}

// One table of each size for the whole run, in a directory that goes with it.
inline const std::filesystem::path& generatedLog(int rows)
{
    static QTemporaryDir dir;
    static std::map<int, std::filesystem::path> made;
    auto it = made.find(rows);
    if (it == made.end()) {
        const std::filesystem::path p
            = std::filesystem::path(dir.path().toStdString()) / ("log" + std::to_string(rows)) / "CVLog.dbf";
        std::filesystem::create_directories(p.parent_path());
        fillTable(p, rows);
        it = made.emplace(rows, p).first;
    }
    return it->second;
}

} // namespace cvlog::bench
