#pragma once
// A pseudo-terminal standing in for a serial port: the test holds the
// master side (the "instrument"), the channel opens the slave path.

#include "logstore/unique_fd.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace cvlog::test
{

class PtyPair
{
public:
    PtyPair()
        : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
        if (!master_ || ::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0)
            throw std::runtime_error("no pseudo-terminal");
        char name[128] = {};
        if (::ptsname_r(master_.get(), name, sizeof name) != 0)
            throw std::runtime_error("no pseudo-terminal name");
        slavePath_ = name;
    }

    int master() const { return master_.get(); }
    const std::string& slavePath() const { return slavePath_; }
    void closeMaster() { master_.reset(); }

    void send(const std::vector<unsigned char>& bytes) const
    {
        if (::write(master_.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("pty write failed");
    }

    // What reached the master within the timeout, up to expected bytes.
    std::vector<unsigned char> receive(std::size_t expected, std::chrono::milliseconds timeout) const
    {
        std::vector<unsigned char> got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < expected && clock.elapsed() < timeout.count()) {
            pollfd pfd { master_.get(), POLLIN, 0 };
            if (::poll(&pfd, 1, 10) <= 0)
                continue;
            unsigned char buffer[256];
            const ssize_t n = ::read(master_.get(), buffer, sizeof buffer);
            if (n > 0)
                got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

private:
    UniqueFd master_;
    std::string slavePath_;
};

// Runs the event loop until the condition holds or the timeout passes.
template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000))
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

} // namespace cvlog::test
