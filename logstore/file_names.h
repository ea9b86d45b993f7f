#pragma once
// File names matched without regard to case, as the program's files were
// always found: "cvlog.DBF" is the table as much as "CVLog.dbf" is.

#include <filesystem>

namespace cvlog
{

inline constexpr const char* kTableFileName = "CVLog.dbf";
// The single-instance guard's lock file and the settings, beside the table.
inline constexpr const char* kLockFileName = "CVLOG1.lock";
inline constexpr const char* kSettingsFileName = "CVLog.ini";

// The file as it is spelled on disk: the exact name when it exists,
// otherwise the first entry of its directory, in name order, that differs
// only in case; the path as given when there is none.
std::filesystem::path findIgnoringCase(const std::filesystem::path& path);

} // namespace cvlog
