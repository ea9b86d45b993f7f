// cvlog-sim: a simulated instrument or download key on a pseudo-terminal,
// for trying and testing CVLog without hardware. See --help.

#include "tools/cvlog_sim/pseudo_terminal.h"
#include "tools/cvlog_sim/sim_device.h"
#include "tools/cvlog_sim/sim_options.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <unistd.h>

namespace
{

using namespace cvlog::sim;

constexpr std::size_t kReadChunk = 4096;
constexpr int kWriteWaitMs = 200; // a reply later than a tick is no use to the program
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int)
{
    stopRequested = 1;
}

std::chrono::year_month_day LocalToday()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    return { std::chrono::year(local.tm_year + 1900),
        std::chrono::month(static_cast<unsigned>(local.tm_mon + 1)),
        std::chrono::day(static_cast<unsigned>(local.tm_mday)) };
}

// Appends lines to a file and flushes each, so a test can read it while the
// simulator runs.
class LineFile
{
public:
    bool Open(const std::string& path)
    {
        if (path.empty())
            return true;
        out_.open(path, std::ios::app);
        return out_.is_open();
    }
    void Write(std::string_view line)
    {
        if (out_.is_open())
            out_ << line << '\n' << std::flush;
    }

private:
    std::ofstream out_;
};

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd out { fd, POLLOUT, 0 };
            if (::poll(&out, 1, kWriteWaitMs) > 0)
                continue;
        }
        // Nobody is draining the line; the program will ask again.
        return;
    }
}

int Run(const SimOptions& options)
{
    LineFile frameLog;
    LineFile keyLog;
    if (!frameLog.Open(options.frameLogPath) || !keyLog.Open(options.keyLogPath)) {
        std::cerr << "cvlog-sim: cannot open a log file\n";
        return kExitFailure;
    }
    DeviceHooks hooks;
    hooks.frameLog = [&frameLog](std::string_view line) { frameLog.Write(line); };
    hooks.keyLog = [&keyLog](std::string_view line) { keyLog.Write(line); };
    if (options.verbose)
        hooks.note = [](std::string_view text) { std::cerr << "cvlog-sim: " << text << '\n'; };
    SimDevice device(options.device, hooks);

    // The stop signals stay blocked except inside ppoll, so none is lost
    // between the check and the wait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigset_t waitMask;
    ::sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    struct sigaction action {
    };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::string error;
    auto terminal = PseudoTerminal::Open(error);
    if (!terminal) {
        std::cerr << "cvlog-sim: " << error << '\n';
        return kExitFailure;
    }
    std::printf("%s\n", terminal->SlavePath().c_str());
    std::fflush(stdout);
    if (options.verbose) {
        const auto& memory = device.Memory();
        std::fprintf(stderr, "cvlog-sim: %zu flights stored, log position %04X\n", memory.StoredFlights(),
            memory.LogPosition());
        if (memory.StoredFlights() < options.device.flights.size())
            std::fprintf(stderr, "cvlog-sim: the log memory holds only the newest %zu flights\n",
                memory.StoredFlights());
    }

    std::vector<std::uint8_t> buffer(kReadChunk);
    while (!stopRequested) {
        pollfd fds[2] = { { terminal->MasterFd(), POLLIN, 0 }, { STDIN_FILENO, POLLIN, 0 } };
        const nfds_t count = options.exitOnEof ? 2 : 1;
        if (::ppoll(fds, count, nullptr, &waitMask) < 0) {
            if (errno == EINTR)
                continue;
            std::perror("cvlog-sim: ppoll");
            return kExitFailure;
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(terminal->MasterFd(), buffer.data(), buffer.size());
            if (n > 0) {
                const auto reply = device.Receive({ buffer.data(), static_cast<std::size_t>(n) });
                WriteAll(terminal->MasterFd(), reply);
            }
        }
        if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                break;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    auto parsed = ParseOptions(args);
    if (!parsed.error.empty()) {
        std::cerr << "cvlog-sim: " << parsed.error << " (see --help)\n";
        return kExitUsage;
    }
    SimOptions& options = parsed.options;
    if (options.help) {
        std::cout << UsageText();
        return 0;
    }
    if (const auto error = LoadFlights(options, LocalToday()); !error.empty()) {
        std::cerr << "cvlog-sim: " << error << '\n';
        return kExitUsage;
    }
    return Run(options);
}
