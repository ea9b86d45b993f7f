#pragma once
// The simulator's end of the line: a pseudo-terminal whose slave side the
// program opens as its serial port.

#include "tools/cvlog_sim/unique_fd.h"

#include <memory>
#include <string>

namespace cvlog::sim
{

class PseudoTerminal
{
public:
    // A raw, non-blocking master. The slave is opened here as well and kept
    // open for the whole run: without it, the program closing its port would
    // hang the terminal up, and its next open would find a dead line.
    static std::unique_ptr<PseudoTerminal> Open(std::string& error);

    PseudoTerminal(UniqueFd master, UniqueFd slave, std::string slavePath);

    int MasterFd() const { return master_.Get(); }
    const std::string& SlavePath() const { return slavePath_; }

private:
    UniqueFd master_;
    UniqueFd slave_;
    std::string slavePath_;
};

} // namespace cvlog::sim
