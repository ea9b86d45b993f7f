#pragma once
// The hourglass over the program while a command reads or writes the whole
// table; the pointer comes back however the command ends.

#include "logstore/scope_exit.h"

#include <QApplication>

namespace cvlog
{

[[nodiscard]] inline auto ShowWaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    return ScopeExit([] { QApplication::restoreOverrideCursor(); });
}

} // namespace cvlog
