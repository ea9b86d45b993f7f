#include "tools/cvlog_sim/pseudo_terminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>

namespace cvlog::sim
{

namespace
{
std::string SystemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}
} // namespace

PseudoTerminal::PseudoTerminal(UniqueFd master, UniqueFd slave, std::string slavePath)
    : master_(std::move(master))
    , slave_(std::move(slave))
    , slavePath_(std::move(slavePath))
{
}

std::unique_ptr<PseudoTerminal> PseudoTerminal::Open(std::string& error)
{
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY));
    if (!master.Valid()) {
        error = SystemError("posix_openpt");
        return nullptr;
    }
    if (::grantpt(master.Get()) != 0 || ::unlockpt(master.Get()) != 0) {
        error = SystemError("grantpt/unlockpt");
        return nullptr;
    }
    char name[128];
    if (::ptsname_r(master.Get(), name, sizeof name) != 0) {
        error = SystemError("ptsname");
        return nullptr;
    }
    // The protocol is binary: no echo, no line editing, no CR/NL mapping.
    termios tio {};
    if (::tcgetattr(master.Get(), &tio) != 0) {
        error = SystemError("tcgetattr");
        return nullptr;
    }
    ::cfmakeraw(&tio);
    if (::tcsetattr(master.Get(), TCSANOW, &tio) != 0) {
        error = SystemError("tcsetattr");
        return nullptr;
    }
    // A program that stops reading must not stall the simulator on a full queue.
    const int flags = ::fcntl(master.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(master.Get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        error = SystemError("fcntl");
        return nullptr;
    }
    UniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (!slave.Valid()) {
        error = SystemError("open slave");
        return nullptr;
    }
    return std::make_unique<PseudoTerminal>(std::move(master), std::move(slave), name);
}

} // namespace cvlog::sim
