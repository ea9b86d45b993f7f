#pragma once

#include <QString>

namespace cvlog
{

// The directory of the program's own executable, ending in "/". The table,
// the settings and the lock file live there. Paths of any length work.
QString ProgramDirectory();

} // namespace cvlog
