#pragma once
// The hourglass over the program while a command reads or writes the whole
// table; the pointer comes back however the command ends.

#include <QApplication>

namespace cvlog
{

class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace cvlog
