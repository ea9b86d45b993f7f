#include "logstore/log_fields.h"

namespace cvlog
{

LogFieldMap::LogFieldMap()
{
    for (int i = 0; i < kLogFieldCount; ++i)
        at_[static_cast<std::size_t>(i)] = i;
}

LogFieldMap LogFieldMap::resolve(const DbfTable& table)
{
    LogFieldMap map;
    const std::vector<QString> names = logTableFieldNames();
    for (int i = 0; i < kLogFieldCount; ++i)
        map.at_[static_cast<std::size_t>(i)] = table.fieldIndexOrThrow(names[static_cast<std::size_t>(i)]);
    return map;
}

} // namespace cvlog
