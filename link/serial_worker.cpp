#include "link/serial_worker.h"

#include "link/serial_rts_toggle.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace cvlog
{

namespace
{

// When a handler leaves input unread, poll() would report it again at
// once; pausing this long keeps the worker from spinning on it.
constexpr std::chrono::milliseconds kUnreadPause { 20 };

int msUntil(std::chrono::steady_clock::time_point now, std::chrono::steady_clock::time_point then)
{
    if (then <= now)
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(then - now).count();
    return static_cast<int>(std::min<std::int64_t>(ms, 60'000));
}

} // namespace

SerialWorker::SerialWorker(int fd, SerialRtsToggle& rts, Post post)
    : fd_(fd)
    , rts_(rts)
    , post_(std::move(post))
    , wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!wake_)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    thread_ = std::thread([this] { run(); });
}

SerialWorker::~SerialWorker()
{
    stop();
}

void SerialWorker::handOverDone(bool inputLeftUnread)
{
    {
        std::lock_guard lock(mutex_);
        handOverPending_ = false;
        inputLeftUnread_ = inputLeftUnread;
    }
    handedBack_.notify_all();
}

void SerialWorker::wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wake_.get(), &one, sizeof one);
}

void SerialWorker::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    handedBack_.notify_all();
    wake();
    if (thread_.joinable())
        thread_.join();
}

bool SerialWorker::stopping()
{
    std::lock_guard lock(mutex_);
    return stopping_;
}

bool SerialWorker::handOver(bool& inputLeftUnread)
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return false;
        handOverPending_ = true;
    }
    post_(Event::RxChar);
    std::unique_lock lock(mutex_);
    handedBack_.wait(lock, [this] { return !handOverPending_ || stopping_; });
    inputLeftUnread = inputLeftUnread_;
    return !stopping_;
}

void SerialWorker::run()
{
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> pauseUntil;

    for (;;) {
        const auto now = Clock::now();
        const auto rtsDue = rts_.service(now);
        if (pauseUntil && now >= *pauseUntil)
            pauseUntil.reset();

        int timeout = -1;
        if (rtsDue)
            timeout = static_cast<int>(rtsDue->count());
        if (pauseUntil) {
            const int pause = msUntil(now, *pauseUntil);
            timeout = timeout < 0 ? pause : std::min(timeout, pause);
        }

        pollfd fds[2] = { { wake_.get(), POLLIN, 0 }, { fd_, POLLIN, 0 } };
        const nfds_t watched = pauseUntil ? 1 : 2;
        const int ready = ::poll(fds, watched, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            // A wait that fails would fail again at once: report the port
            // as lost rather than spin or go deaf.
            post_(Event::Lost);
            return;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto got = ::read(wake_.get(), &count, sizeof count);
        }
        if (stopping())
            return;
        if (watched < 2)
            continue;

        const short events = fds[1].revents;
        if (events & (POLLHUP | POLLERR | POLLNVAL)) {
            // A hung-up line stays readable for ever; stop watching it.
            post_(Event::Lost);
            return;
        }
        if (events & POLLIN) {
            bool inputLeftUnread = false;
            if (!handOver(inputLeftUnread))
                return;
            if (inputLeftUnread)
                pauseUntil = Clock::now() + kUnreadPause;
        }
    }
}

} // namespace cvlog
