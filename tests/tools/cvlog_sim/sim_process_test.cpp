// The real cvlog-sim: started as a program would find it, on its terminal.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

constexpr int kWaitMs = 3000;

const Bytes kIdentityAtE1 { 0x82, 0xE1, 0x02, 0x08, 0x04, 0x4A, 0x83 };
const Bytes kPositionAtE1 { 0x82, 0xE1, 0x02, 0x00, 0x07, 0x41, 0x83 };

class SimProcess
{
public:
    explicit SimProcess(std::vector<std::string> args)
    {
        int out[2];
        if (::pipe(out) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv { const_cast<char*>(CVLOG_SIM_PATH) };
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(CVLOG_SIM_PATH, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdout_ = out[0];
    }
    ~SimProcess()
    {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0)
            ::close(stdout_);
    }

    std::string FirstLine()
    {
        std::string line;
        char c = 0;
        while (line.size() < 256) {
            pollfd p { stdout_, POLLIN, 0 };
            if (::poll(&p, 1, kWaitMs) <= 0 || ::read(stdout_, &c, 1) != 1 || c == '\n')
                break;
            line.push_back(c);
        }
        return line;
    }

    int Terminate()
    {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    bool reaped_ = false;
};

int OpenPort(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    termios tio {};
    if (fd >= 0 && ::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B19200);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

Bytes Exchange(int fd, const Bytes& command, std::size_t replySize)
{
    EXPECT_EQ(::write(fd, command.data(), command.size()), static_cast<ssize_t>(command.size()));
    Bytes reply;
    std::uint8_t buffer[256];
    while (reply.size() < replySize) {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, kWaitMs) <= 0)
            break;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        reply.insert(reply.end(), buffer, buffer + n);
    }
    return reply;
}

TEST(SimProcessTest, AnswersOnItsTerminalAcrossReopens)
{
    const auto log
        = std::filesystem::temp_directory_path() / ("cvlog-sim-test-" + std::to_string(::getpid()));
    std::filesystem::remove(log);
    SimProcess sim({ "--generate", "3", "--today", "2026-03-15", "--log", log.string() });
    const std::string path = sim.FirstLine();
    ASSERT_TRUE(path.starts_with("/dev/pts/")) << path;

    int fd = OpenPort(path);
    ASSERT_GE(fd, 0);
    const Bytes identity = Exchange(fd, kIdentityAtE1, 28);
    ASSERT_EQ(identity.size(), 28u);
    EXPECT_EQ(Bytes(identity.begin(), identity.begin() + 4), (Bytes { 0x82, 0xFD, 0x17, 0x09 }));
    EXPECT_EQ(identity.back(), 0x83);
    ::close(fd);

    // The program closing and reopening its port finds the line alive.
    fd = OpenPort(path);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, kPositionAtE1, 8), (Bytes { 0x82, 0xFD, 0x03, 0x0D, 0x20, 0xF1, 0x87, 0x83 }));
    ::close(fd);

    EXPECT_EQ(sim.Terminate(), 0);
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string> { "82 E1 02 08 04 4A 83", "82 E1 02 00 07 41 83" }));
    std::filesystem::remove(log);
}

} // namespace
