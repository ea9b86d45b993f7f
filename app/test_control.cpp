#include "app/test_control.h"

#include "app/cvlog_application.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace cvlog
{

namespace
{

void acknowledge(const char* what, const QString& line)
{
    std::fprintf(stderr, "CVLOG CONTROL %s%s\n", what, line.toUtf8().constData());
    std::fflush(stderr);
}

QAction* findAction(const QString& name)
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* action = window->findChild<QAction*>(name))
            return action;
    }
    return nullptr;
}

} // namespace

TestControl::TestControl(QObject* parent)
    : QObject(parent)
{
}

TestControl::~TestControl() = default;

void TestControl::startIfAsked()
{
    if (qEnvironmentVariableIntValue("CVLOG_TEST_CONTROL") != 1)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TestControl::readInput);
}

void TestControl::readInput()
{
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        if (n < 0 && errno == EINTR)
            return;
        notifier_->setEnabled(false); // the test has closed its end
        return;
    }
    pending_.append(buffer, n);
    for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n')) {
        const QString line = QString::fromUtf8(pending_.left(end)).trimmed();
        pending_.remove(0, end + 1);
        if (!line.isEmpty())
            run(line);
    }
}

void TestControl::run(const QString& line)
{
    const qsizetype space = line.indexOf(u' ');
    const QString command = space < 0 ? line : line.left(space);
    const QString argument = space < 0 ? QString() : line.mid(space + 1);
    if (command == u"file") {
        QueueFileAnswer(argument);
    } else if (command == u"trigger") {
        QAction* action = findAction(argument);
        if (action == nullptr) {
            acknowledge("unknown ", line);
            return;
        }
        // Later, from the event loop: a command may open a window with a
        // loop of its own, and this one has to be acknowledged first.
        QTimer::singleShot(0, action, &QAction::trigger);
    } else if (command == u"click") {
        QAbstractButton* button = nullptr;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (!button)
                button = window->findChild<QAbstractButton*>(argument);
        }
        if (button == nullptr) {
            acknowledge("unknown ", line);
            return;
        }
        QTimer::singleShot(0, button, &QAbstractButton::click);
    } else if (command == u"close") {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->windowTitle() == argument)
                QTimer::singleShot(0, window, &QWidget::close);
        }
    } else {
        acknowledge("unknown ", line);
        return;
    }
    acknowledge("", line);
}

} // namespace cvlog
