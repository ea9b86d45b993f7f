#pragma once
// The one thread of an open serial port. It only waits: for input, for the
// line to hang up, for the end of a transmission (to drop RTS) and for its
// own stop. Each input event is handed to the user-interface thread and the
// thread blocks until that event has been handled, so handlers never
// overlap and never race with the port's reads and writes.

#include "logstore/unique_fd.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace cvlog
{

class SerialRtsToggle;

class SerialWorker
{
public:
    enum class Event {
        RxChar, // input is waiting; the worker blocks until handOverDone()
        Lost, // the device hung up or the wait failed; the worker has ended
    };
    // Called on the worker thread; must only queue the event for the
    // user-interface thread.
    using Post = std::function<void(Event)>;

    // Starts the thread. Throws std::system_error when it cannot.
    SerialWorker(int fd, SerialRtsToggle& rts, Post post);
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;
    ~SerialWorker();

    // User-interface thread. inputLeftUnread: the handler took nothing, so
    // the worker pauses before watching the input again instead of spinning.
    void handOverDone(bool inputLeftUnread);
    // A write in manual RTS mode: wake the worker to watch the drain.
    void wake();
    // Ends the thread and waits for it; releases a hand-over in progress.
    void stop();

private:
    void run();
    bool handOver(bool& inputLeftUnread);
    bool stopping();

    int fd_;
    SerialRtsToggle& rts_;
    Post post_;
    UniqueFd wake_;

    std::mutex mutex_;
    std::condition_variable handedBack_;
    bool stopping_ = false;
    bool handOverPending_ = false;
    bool inputLeftUnread_ = false;

    std::thread thread_;
};

} // namespace cvlog
