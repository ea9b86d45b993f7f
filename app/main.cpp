// Program entry: one copy per program directory, then the five forms in
// their order, then the event loop until the main window has closed.

#include "app/cvlog_application.h"
#include "app/instance_guard.h"
#include "app/key_init_form.h"
#include "app/main_window.h"
#include "app/port_dialog.h"
#include "app/program_directory.h"
#include "app/report_form.h"
#include "app/scripting/control_channel.h"
#include "app/scripting/status_trace.h"
#include "app/signal_handler.h"
#include "app/status_form.h"

#include <QDate>

#include <csignal>

namespace
{

constexpr int kExitIncompleteShutdown = 1;

} // namespace

int main(int argc, char** argv)
{
    // A file that grows past the user's size limit fails to be written
    // ("Disk full") like any other write, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    cvlog::CvlogApplication app(argc, argv);
    cvlog::AnswerFromEnvironment();
    cvlog::StatusTraceEnabled(); // read once, before anything is shown

    const QString directory = cvlog::ProgramDirectory();
    // Before any window: a second copy must not touch the table or the settings.
    cvlog::InstanceGuard guard;
    if (!guard.acquire(directory.toStdString())) {
        cvlog::ShowPlainMessage(QStringLiteral("This application is active. This new copy will terminate."));
        return 0;
    }

    // A signal may come while start-up still shows a message (a table that
    // cannot be opened): the shutdown then runs as soon as the window exists,
    // and the event loop never starts.
    cvlog::SignalHandler signalHandler;
    cvlog::TForm1* window = nullptr;
    bool terminating = false;
    bool signalShutdownFailed = false;
    QObject::connect(&signalHandler, &cvlog::SignalHandler::terminationRequested, &app, [&] {
        if (terminating)
            return;
        terminating = true;
        if (window)
            signalShutdownFailed = !window->closeForSignal();
        // Ends every event loop, a message box's or a dialog's too; one
        // opened after this returns at once, so nothing waits for a user.
        QCoreApplication::exit(0);
    });

    cvlog::TForm1 Form1({ directory, QDate::currentDate() });
    cvlog::TStatus Status;
    cvlog::TForm3 Form3;
    cvlog::TForm4 Form4;
    cvlog::TForm5 Form5;
    // Only the main window's closing ends the program, even with the status pop-up up.
    for (QWidget* form : std::initializer_list<QWidget*> { &Status, &Form3, &Form4, &Form5 })
        form->setAttribute(Qt::WA_QuitOnClose, false);
    Form1.setForms(&Status, &Form3, &Form4, &Form5);
    if (terminating)
        return Form1.closeForSignal() ? 0 : kExitIncompleteShutdown;
    window = &Form1;

    cvlog::ControlChannel control;
    control.startIfAsked();

    Form1.show();
    const int result = app.exec();
    return signalShutdownFailed ? kExitIncompleteShutdown : result;
}
