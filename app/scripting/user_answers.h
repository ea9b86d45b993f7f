#pragma once
// Who answers the program's questions: its message boxes, its file dialogs
// and its other modal dialogs. A person, through Qt's boxes and dialogs; or
// a script: a test in the same process, or the whole program run unattended
// (CVLOG_AUTOCLOSE_MESSAGES=1), whose control channel queues the answers.

#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QDialog;
class QWidget;

namespace cvlog
{

enum class MessageKind {
    Plain, // information or refusal: OK
    Error, // the general error box: error icon, OK
    OkCancel, // caption "Confirm", question mark, OK and Cancel
    Confirm, // caption "Confirm", question mark, "&Yes" and "&No"
};

struct MessageRequest {
    MessageKind kind = MessageKind::Plain;
    QString caption;
    QString text;
};

// A file dialog of the program: open or save, its title, one filter entry
// ("text files (*.txt)") and the suffix added to a name typed without one.
// Read-only files are not listed, and choosing an existing file asks nothing.
struct FileDialogRequest {
    enum class Mode { Save, Open };
    Mode mode = Mode::Save;
    QString title;
    QString filter;
    QString defaultSuffix;
};

class UserAnswers
{
public:
    virtual ~UserAnswers() = default;
    // True when the accepting button (OK, "&Yes") was chosen.
    virtual bool message(const MessageRequest& request, QWidget* parent) = 0;
    // The chosen file's full path; empty when cancelled.
    virtual QString fileName(const FileDialogRequest& request, QWidget* parent) = 0;
    // Runs a modal dialog and returns its result.
    virtual int dialog(QDialog& dialog) = 0;
};

// A person answers.
class PersonAnswers : public UserAnswers
{
public:
    bool message(const MessageRequest& request, QWidget* parent) override;
    QString fileName(const FileDialogRequest& request, QWidget* parent) override;
    int dialog(QDialog& dialog) override;
};

// A script answers. A message takes the oldest queued answer, else its
// default button (OK, "&Yes"); a file dialog takes the file answerer's
// path while one is set, else the oldest queued path, else is cancelled.
// Any other dialog is cancelled when unattended; a test in the same
// process works it itself.
class ScriptedAnswers : public UserAnswers
{
public:
    enum class Boxes {
        Unseen, // a test in the same process: nothing is shown
        ShownAndClosed, // unattended: each is shown, told on stderr and closed at once
    };
    explicit ScriptedAnswers(Boxes boxes);

    bool message(const MessageRequest& request, QWidget* parent) override;
    QString fileName(const FileDialogRequest& request, QWidget* parent) override;
    int dialog(QDialog& dialog) override;

    std::deque<bool> answers; // for the next messages: true is OK or "&Yes"
    std::deque<QString> fileAnswers; // for the next file dialogs
    std::function<QString(const FileDialogRequest&)> fileAnswerer;
    std::vector<MessageRequest> shown; // every message asked, in order

private:
    Boxes boxes_;
};

// The answers in place; a person's unless a script's were put in place.
UserAnswers& Answers();
// The script's answers in place; nullptr when a person answers.
ScriptedAnswers* ScriptAnswers();

// Puts a script's answers in place while it lives: the ones before come
// back after.
class AnswersInPlace
{
public:
    explicit AnswersInPlace(ScriptedAnswers& answers);
    ~AnswersInPlace();
    AnswersInPlace(const AnswersInPlace&) = delete;
    AnswersInPlace& operator=(const AnswersInPlace&) = delete;

private:
    ScriptedAnswers* previous_;
};

// Reads CVLOG_AUTOCLOSE_MESSAGES: with 1, the program runs unattended with
// a script's answers, each box and dialog shown and closed at once;
// otherwise a person answers.
void AnswerFromEnvironment();

} // namespace cvlog
