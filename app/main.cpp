// Program entry: the command line (a command for a script runs without a
// window), then one copy per data folder, then the five forms in their order,
// then the event loop until the main window has closed.

#include "app/cvlog_application.h"
#include "app/key_init_form.h"
#include "app/main_window.h"
#include "app/port_dialog.h"
#include "app/report_form.h"
#include "app/scripting/control_channel.h"
#include "app/scripting/status_trace.h"
#include "app/signal_handler.h"
#include "app/status_form.h"
#include "cli/command_line.h"
#include "cli/log_commands.h"
#include "cli/program_folders.h"
#include "cvlog_version.h"
#include "logstore/instance_guard.h"

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
    // Before the application object, which needs a display: --help and
    // --version answer without one.
    const cvlog::CommandLine commandLine = cvlog::parseCommandLine(argc, argv);
    if (commandLine.action == cvlog::CommandLineAction::RunCommand)
        return cvlog::runLogCommand(argc, argv, commandLine);
    if (commandLine.action != cvlog::CommandLineAction::OpenWindow)
        return cvlog::answerWithoutWindow(commandLine);

    cvlog::CvlogApplication app(argc, argv);
    // The desktop finds our entry, and with it our icon, by this name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(cvlog::kApplicationId));
    cvlog::AnswerFromEnvironment();
    cvlog::StatusTraceEnabled(); // read once, before anything is shown

    const cvlog::ProgramFolders folders = cvlog::chooseProgramFolders(cvlog::programDirectory().toStdString(),
        commandLine.dataDirectory, cvlog::UserFolders::fromEnvironment());
    if (const std::string problem = cvlog::prepareDataFolder(folders); !problem.empty()) {
        cvlog::ShowErrorMessage(QString::fromStdString(problem));
        return cvlog::kExitFailed;
    }
    // Before any window: a second copy must not touch the table or the settings.
    cvlog::InstanceGuard guard;
    if (!guard.acquire(folders.data)) {
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

    cvlog::TForm1 Form1({ .dataDirectory = folders.data,
        .today = QDate::currentDate(),
        .libraryDirectories = folders.libraryDirectories });
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
