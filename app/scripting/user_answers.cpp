#include "app/scripting/user_answers.h"

#include "app/scripting/status_trace.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTimer>

#include <cstdio>
#include <utility>

namespace cvlog
{

namespace
{

// Lists folders and the files that can be written, so a read-only file is
// never offered for a command that would replace it.
class WritableFilesOnly : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (files == nullptr)
            return true;
        const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
        return info.isDir() || info.isWritable();
    }
};

const char* kindName(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Plain:
        return "plain";
    case MessageKind::Error:
        return "error";
    case MessageKind::OkCancel:
        return "okcancel";
    case MessageKind::Confirm:
        return "confirm";
    }
    return "plain";
}

// Fills the box for the request; returns its accepting button (OK, Yes).
QPushButton* buildBox(QMessageBox& box, const MessageRequest& request)
{
    box.setWindowTitle(request.caption);
    box.setText(request.text);
    QPushButton* accept = nullptr;
    switch (request.kind) {
    case MessageKind::Plain:
        box.setIcon(QMessageBox::NoIcon);
        accept = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        break;
    case MessageKind::Error:
        box.setIcon(QMessageBox::Critical);
        accept = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        break;
    case MessageKind::OkCancel:
        box.setIcon(QMessageBox::Question);
        accept = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setEscapeButton(box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole));
        break;
    case MessageKind::Confirm:
        box.setIcon(QMessageBox::Question);
        accept = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        box.setEscapeButton(box.addButton(QStringLiteral("&No"), QMessageBox::NoRole));
        break;
    }
    box.setDefaultButton(accept);
    return accept;
}

// A line for the script that reads the program's stderr.
void tell(const QString& line)
{
    std::fprintf(stderr, "CVLOG %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

PersonAnswers& person()
{
    static PersonAnswers answers;
    return answers;
}

ScriptedAnswers*& scriptInPlace()
{
    static ScriptedAnswers* answers = nullptr;
    return answers;
}

std::unique_ptr<ScriptedAnswers>& unattended()
{
    static std::unique_ptr<ScriptedAnswers> answers;
    return answers;
}

} // namespace

bool PersonAnswers::message(const MessageRequest& request, QWidget* parent)
{
    QMessageBox box(parent);
    QPushButton* accept = buildBox(box, request);
    TraceOpened(QStringLiteral("[%1] %2: %3")
                    .arg(QLatin1String(kindName(request.kind)), request.caption, request.text));
    box.exec();
    return box.clickedButton() == accept;
}

QString PersonAnswers::fileName(const FileDialogRequest& request, QWidget* parent)
{
    const bool save = request.mode == FileDialogRequest::Mode::Save;
    QFileDialog dialog(parent, request.title, QString(), request.filter);
    // Qt's own dialog: the platform's would ignore the filter on writable files.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new WritableFilesOnly(&dialog));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(request.defaultSuffix);
    TraceOpened(request.title);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

int PersonAnswers::dialog(QDialog& dialog)
{
    TraceOpened(dialog.windowTitle());
    return dialog.exec();
}

ScriptedAnswers::ScriptedAnswers(Boxes boxes)
    : boxes_(boxes)
{
}

bool ScriptedAnswers::message(const MessageRequest& request, QWidget* parent)
{
    shown.push_back(request);
    bool accepted = true;
    if (!answers.empty()) {
        accepted = answers.front();
        answers.pop_front();
    }
    if (boxes_ == Boxes::Unseen)
        return accepted;

    tell(QStringLiteral("MESSAGE [%1] %2: %3")
             .arg(QLatin1String(kindName(request.kind)), request.caption, request.text));
    QMessageBox box(parent);
    QPushButton* accept = buildBox(box, request);
    // A "no" takes the box's other button, where it has one.
    QAbstractButton* answer = !accepted && box.escapeButton() ? box.escapeButton() : accept;
    QTimer::singleShot(0, answer, &QAbstractButton::click);
    box.exec();
    return box.clickedButton() == accept;
}

QString ScriptedAnswers::fileName(const FileDialogRequest& request, QWidget*)
{
    QString answer;
    if (fileAnswerer) {
        answer = fileAnswerer(request);
    } else if (!fileAnswers.empty()) {
        answer = fileAnswers.front();
        fileAnswers.pop_front();
    }
    if (boxes_ == Boxes::ShownAndClosed)
        tell(QStringLiteral("DIALOG %1: %2").arg(request.title, answer));
    return answer;
}

int ScriptedAnswers::dialog(QDialog& dialog)
{
    // In the same process the test works the dialog itself.
    if (boxes_ == Boxes::Unseen)
        return person().dialog(dialog);
    tell(QStringLiteral("DIALOG ") + dialog.windowTitle());
    QTimer::singleShot(0, &dialog, &QDialog::reject);
    return dialog.exec();
}

UserAnswers& Answers()
{
    if (ScriptedAnswers* script = scriptInPlace())
        return *script;
    return person();
}

ScriptedAnswers* ScriptAnswers()
{
    return scriptInPlace();
}

AnswersInPlace::AnswersInPlace(ScriptedAnswers& answers)
    : previous_(std::exchange(scriptInPlace(), &answers))
{
}

AnswersInPlace::~AnswersInPlace()
{
    scriptInPlace() = previous_;
}

void AnswerFromEnvironment()
{
    if (qEnvironmentVariableIntValue("CVLOG_AUTOCLOSE_MESSAGES") == 0)
        return;
    unattended() = std::make_unique<ScriptedAnswers>(ScriptedAnswers::Boxes::ShownAndClosed);
    scriptInPlace() = unattended().get();
}

} // namespace cvlog
