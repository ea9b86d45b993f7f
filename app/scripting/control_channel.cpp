#include "app/scripting/control_channel.h"

#include "app/scripting/user_answers.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

// The toolkit's own way in for a key's shortcuts, as its test library uses it.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
    const QString& text = QString(), bool autorep = false, ushort count = 1);

namespace cvlog
{

namespace
{

void acknowledge(const char* what, const QString& line)
{
    std::fprintf(stderr, "CVLOG CONTROL %s%s\n", what, line.toUtf8().constData());
    std::fflush(stderr);
}

// The object of that name in any window, or "<window>/<name>" in that one
// (two windows may each have an "Edit1").
template <class T> T* findObject(const QString& name)
{
    const qsizetype slash = name.indexOf(u'/');
    const QString window = slash < 0 ? QString() : name.left(slash);
    const QString child = name.mid(slash + 1);
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!window.isEmpty() && top->objectName() != window)
            continue;
        if (auto* found = top->findChild<T*>(child))
            return found;
    }
    return nullptr;
}

// Where a keyboard's keys go: the focused widget of the active window (or of
// the one window shown, when the platform makes none active).
QWidget* keyboardTarget()
{
    if (QWidget* focused = QApplication::focusWidget())
        return focused;
    QWidget* window = QApplication::activeWindow();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (window == nullptr && top->isVisible() && top->isWindow() && top->parentWidget() == nullptr)
            window = top;
    }
    if (window == nullptr)
        return nullptr;
    return window->focusWidget() != nullptr ? window->focusWidget() : window;
}

// One key with its modifiers, as the toolkit delivers a keyboard's: the
// shortcuts have their say before the widget.
void pressKey(QWidget* target, QKeyCombination key)
{
    const QString text;
    if (qt_sendShortcutOverrideEvent(target, 0, key.key(), key.keyboardModifiers(), text))
        return;
    QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers(), text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key.key(), key.keyboardModifiers(), text);
    QApplication::sendEvent(target, &release);
}

} // namespace

ControlChannel::ControlChannel(QObject* parent)
    : QObject(parent)
{
}

ControlChannel::~ControlChannel() = default;

void ControlChannel::startIfAsked()
{
    if (qEnvironmentVariableIntValue("CVLOG_TEST_CONTROL") != 1)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &ControlChannel::readInput);
}

void ControlChannel::readInput()
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

void ControlChannel::run(const QString& line)
{
    const qsizetype space = line.indexOf(u' ');
    const QString command = space < 0 ? line : line.left(space);
    const QString argument = space < 0 ? QString() : line.mid(space + 1);
    if (command == u"file") {
        if (ScriptedAnswers* script = ScriptAnswers())
            script->fileAnswers.push_back(argument);
    } else if (command == u"sync") {
        // Said once everything sent before has been carried out: the timers
        // of earlier triggers run first.
        QTimer::singleShot(0, [line] { acknowledge("", line); });
        return;
    } else if (command == u"answer" && (argument == u"yes" || argument == u"no")) {
        if (ScriptedAnswers* script = ScriptAnswers())
            script->answers.push_back(argument == u"yes");
    } else if (command == u"type") {
        const QString name = argument.section(u' ', 0, 0);
        const QString text = argument.section(u' ', 1);
        QWidget* target = findObject<QWidget>(name);
        if (target == nullptr) {
            acknowledge("unknown ", line);
            return;
        }
        // Key by key, as a keyboard would send them.
        for (const QChar c : text) {
            QCoreApplication::postEvent(
                target, new QKeyEvent(QEvent::KeyPress, 0, Qt::NoModifier, QString(c)));
            QCoreApplication::postEvent(
                target, new QKeyEvent(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c)));
        }
    } else if (command == u"key") {
        const QKeySequence keys = QKeySequence::fromString(argument, QKeySequence::PortableText);
        if (keys.isEmpty()) {
            acknowledge("unknown ", line);
            return;
        }
        // Later, from the event loop, as a trigger: a shortcut may open a box.
        QTimer::singleShot(0, [keys] {
            for (int i = 0; i < keys.count(); ++i) {
                if (QWidget* target = keyboardTarget())
                    pressKey(target, keys[i]);
            }
        });
    } else if (command == u"trigger") {
        auto* action = findObject<QAction>(argument);
        if (action == nullptr) {
            acknowledge("unknown ", line);
            return;
        }
        // Later, from the event loop: a command may open a window with a
        // loop of its own, and this one has to be acknowledged first.
        QTimer::singleShot(0, action, &QAction::trigger);
    } else if (command == u"click") {
        auto* button = findObject<QAbstractButton>(argument);
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
