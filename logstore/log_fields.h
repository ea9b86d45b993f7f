#pragma once
// Where the nine log fields stand in a view's file.
//
// The table file names its fields; a file that another program rewrote may
// hold them in another order or beside columns of its own. Everything that
// reads or writes a log field by its meaning goes through this map, resolved
// once when the view is opened.

#include "logstore/dbf_table.h"

#include <array>

namespace cvlog
{

class LogFieldMap
{
public:
    // The nine fields at positions 0 to 8, as the program creates the file.
    LogFieldMap();
    // Looks each field up by name in the open view; throws DbfError
    // "Field '%s' not found" for the first one missing.
    static LogFieldMap resolve(const DbfTable& table);

    int operator[](LogField field) const { return at_[static_cast<std::size_t>(field)]; }
    bool operator==(const LogFieldMap&) const = default;

private:
    std::array<int, kLogFieldCount> at_ {};
};

} // namespace cvlog
