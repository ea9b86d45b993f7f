#pragma once
// SIGTERM, SIGINT and SIGHUP end the program the way closing its window
// does. A signal handler may do almost nothing, so it only writes the
// signal's number into a pipe; the event loop reads it and the shutdown runs
// on the user-interface thread like any other event.

#include <QObject>

#include <csignal>
#include <memory>

class QSocketNotifier;

namespace cvlog
{

class SignalHandler : public QObject
{
    Q_OBJECT
public:
    explicit SignalHandler(QObject* parent = nullptr);
    ~SignalHandler() override;
    SignalHandler(const SignalHandler&) = delete;
    SignalHandler& operator=(const SignalHandler&) = delete;

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignals();

    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previous_[3] {};
};

} // namespace cvlog
