// Prints what programDirectory() gives in a process of its own, so a test can
// copy it to any place and see where it thinks it lives.
#include "cli/program_folders.h"

#include <cstdio>

int main()
{
    std::fputs(cvlog::programDirectory().toLocal8Bit().constData(), stdout);
    return 0;
}
