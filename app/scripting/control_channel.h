#pragma once
// A way for whole-program tests to work the program as a user would, with
// no screen to click on: with CVLOG_TEST_CONTROL=1 the program reads
// commands from its standard input, one a line, and acknowledges each on
// stderr as "CVLOG CONTROL <command>" once it has been taken:
//   trigger <name>   chooses the menu item or button of that object name,
//                    in whichever window holds it (the preview's too)
//   click <name>     clicks the button or check box of that object name
//   type <name> <text>  types the text, key by key, into that widget
//   key <keys>       presses the keys ("Ctrl+Z", "Ctrl+Shift+Z") in the
//                    widget that has the focus in the active window, as a
//                    keyboard would: a menu item's shortcut is found first
//   answer yes|no    answers the next message box, when the program runs
//                    unattended (its boxes otherwise take their default
//                    button)
//   file <path>      answers the next file dialog with the path, when the
//                    program runs unattended; "file" alone cancels it
//   close <caption>  closes the open window of that caption
//   sync             acknowledged once the commands before it are done
// A name may be given as "<window>/<name>", "Form5/Edit1", where two
// windows hold objects of one name.
// Nothing is read without the variable.

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace cvlog
{

class ControlChannel : public QObject
{
    Q_OBJECT
public:
    explicit ControlChannel(QObject* parent = nullptr);
    ~ControlChannel() override;

    // Reads CVLOG_TEST_CONTROL; starts listening when it is 1.
    void startIfAsked();
    // Carries out one command line.
    static void run(const QString& line);

private:
    void readInput();

    std::unique_ptr<QSocketNotifier> notifier_;
    QByteArray pending_;
};

} // namespace cvlog
