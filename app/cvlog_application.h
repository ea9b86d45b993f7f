#pragma once
// The application object and the one place where the program talks to the
// user through message boxes.
//
// Handlers throw exceptions that carry their message; `notify` catches
// whatever a handler lets through, shows it in the error box and lets the
// program go on. Every message box of the program goes through the
// functions below, and they ask whoever answers (app/scripting): a person,
// a test, or the script of a whole program run unattended.

#include "app/scripting/user_answers.h"
#include "logstore/file_error.h"

#include <QApplication>
#include <QString>

#include <exception>
#include <filesystem>
#include <functional>
#include <type_traits>
#include <utility>

class QDialog;
class QWidget;

namespace cvlog
{

inline constexpr const char* kApplicationTitle = "Varnok Zozivura Flight Log";

class CvlogApplication : public QApplication
{
    Q_OBJECT
public:
    CvlogApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The body of notify: runs one delivery, shows any exception it throws in
    // the error box and reports the event as not handled.
    static bool deliverGuarded(const std::function<bool()>& deliver);
};

void ShowPlainMessage(const QString& text, QWidget* parent = nullptr);
void ShowErrorMessage(const QString& message, QWidget* parent = nullptr);
bool AskOkCancel(const QString& text, QWidget* parent = nullptr);
bool AskYesNo(const QString& text, QWidget* parent = nullptr);

// Runs a modal dialog and returns its result. Unattended the dialog is
// cancelled right after showing, so nothing waits for a user who is not
// there.
int ExecDialog(QDialog& dialog);

// The chosen file's full path; empty when the user cancelled.
QString AskFileName(const FileDialogRequest& request, QWidget* parent = nullptr);

// The log's table file, whose own files no save command may replace.
void SetLogTableFile(const std::filesystem::path& table);

// A file a command is about to write, as AskFileName asks for it. The log's
// own files (the table, its lock file, its settings, its safety copies) and
// the program itself, by whatever path they are named, are refused with the message that a backup onto the
// table gives, and the answer is then empty as if cancelled.
QString AskSaveFileName(const FileDialogRequest& request, QWidget* parent = nullptr);

// The general error handling for an exception caught by a handler that has
// to tidy up before the error is shown.
void ReportError(const std::exception& error);

// Qt's signal machinery is not exception-safe, so a handler connected to a
// signal hands its errors to the general error handling itself rather than
// letting them travel back through the toolkit.
template <class Handler> auto Guarded(Handler handler)
{
    // Qt offers a functor every argument of the signal; a handler that wants
    // none is called without them.
    return [handler](auto&&... args) {
        try {
            if constexpr (std::is_invocable_v<Handler, decltype(args)...>)
                handler(std::forward<decltype(args)>(args)...);
            else
                handler();
        } catch (const std::exception& error) {
            ReportError(error);
        }
    };
}

template <class Object, class... Args> auto Guarded(Object* object, void (Object::*handler)(Args...))
{
    return [object, handler](Args... args) {
        try {
            (object->*handler)(args...);
        } catch (const std::exception& error) {
            ReportError(error);
        }
    };
}

} // namespace cvlog
