#include "app/cvlog_application.h"

#include "app/status_trace.h"
#include "logstore/log_maintenance.h"

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
#include <deque>
#include <utility>

namespace cvlog
{

namespace
{

MessageHook& messageHook()
{
    static MessageHook hook;
    return hook;
}

FileDialogHook& fileDialogHook()
{
    static FileDialogHook hook;
    return hook;
}

std::deque<bool>& messageAnswers()
{
    static std::deque<bool> answers;
    return answers;
}

std::deque<QString>& fileAnswers()
{
    static std::deque<QString> answers;
    return answers;
}

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

bool& autoCloseMessages()
{
    static bool autoClose = false;
    return autoClose;
}

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

// Builds and runs one box; true when the accepting button (OK, Yes) was
// chosen.
bool runMessage(const MessageRequest& request, QWidget* parent)
{
    if (const MessageHook& hook = messageHook())
        return hook(request);

    QMessageBox box(parent);
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

    QTimer closer;
    if (autoCloseMessages()) {
        std::fprintf(stderr, "CVLOG MESSAGE [%s] %s: %s\n", kindName(request.kind),
            request.caption.toLocal8Bit().constData(), request.text.toLocal8Bit().constData());
        std::fflush(stderr);
        // A queued "no" takes the box's other button; otherwise its default.
        QAbstractButton* answer = accept;
        if (!messageAnswers().empty()) {
            if (!messageAnswers().front() && box.escapeButton())
                answer = box.escapeButton();
            messageAnswers().pop_front();
        }
        closer.setSingleShot(true);
        QObject::connect(&closer, &QTimer::timeout, answer, &QAbstractButton::click);
        closer.start(0);
    } else {
        TraceOpened(QStringLiteral("[%1] %2: %3")
                        .arg(QLatin1String(kindName(request.kind)), request.caption, request.text));
    }
    box.exec();
    return box.clickedButton() == accept;
}

} // namespace

CvlogApplication::CvlogApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    // Not the display name: that would be appended to every window caption.
    setApplicationName(QString::fromLatin1(kApplicationTitle));
}

bool CvlogApplication::notify(QObject* receiver, QEvent* event)
{
    return deliverGuarded([&] { return QApplication::notify(receiver, event); });
}

bool CvlogApplication::deliverGuarded(const std::function<bool()>& deliver)
{
    try {
        return deliver();
    } catch (const std::exception& error) {
        ReportError(error);
    } catch (...) {
        ShowErrorMessage(QStringLiteral("Unknown error"));
    }
    return false;
}

void SetMessageHook(MessageHook hook)
{
    messageHook() = std::move(hook);
}

void ConfigureAutoCloseMessages()
{
    autoCloseMessages() = qEnvironmentVariableIntValue("CVLOG_AUTOCLOSE_MESSAGES") != 0;
}

QString ErrorText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void ShowPlainMessage(const QString& text, QWidget* parent)
{
    runMessage({ MessageKind::Plain, QString::fromLatin1(kApplicationTitle), text }, parent);
}

void ShowErrorMessage(const QString& message, QWidget* parent)
{
    runMessage({ MessageKind::Error, QString::fromLatin1(kApplicationTitle), ErrorText(message) }, parent);
}

bool AskOkCancel(const QString& text, QWidget* parent)
{
    return runMessage({ MessageKind::OkCancel, QStringLiteral("Confirm"), text }, parent);
}

bool AskYesNo(const QString& text, QWidget* parent)
{
    return runMessage({ MessageKind::Confirm, QStringLiteral("Confirm"), text }, parent);
}

int ExecDialog(QDialog& dialog)
{
    if (autoCloseMessages()) {
        std::fprintf(stderr, "CVLOG DIALOG %s\n", dialog.windowTitle().toLocal8Bit().constData());
        std::fflush(stderr);
        QTimer::singleShot(0, &dialog, &QDialog::reject);
    } else {
        TraceOpened(dialog.windowTitle());
    }
    return dialog.exec();
}

void SetFileDialogHook(FileDialogHook hook)
{
    fileDialogHook() = std::move(hook);
}

void QueueMessageAnswer(bool accept)
{
    messageAnswers().push_back(accept);
}

void QueueFileAnswer(const QString& path)
{
    fileAnswers().push_back(path);
}

namespace
{

std::filesystem::path& logTableFile()
{
    static std::filesystem::path table;
    return table;
}

} // namespace

void SetLogTableFile(const std::filesystem::path& table)
{
    logTableFile() = table;
}

QString AskSaveFileName(const FileDialogRequest& request, QWidget* parent)
{
    const QString path = AskFileName(request, parent);
    if (path.isEmpty())
        return path;
    const std::filesystem::path chosen = path.toStdString();
    const bool own = (!logTableFile().empty() && IsTheLogsOwnFile(chosen, logTableFile()))
        || NamesTheSameFile(chosen, QCoreApplication::applicationFilePath().toStdString());
    if (!own)
        return path;
    ShowPlainMessage(QStringLiteral("File cannot be saved to itself, please choose a new name."), parent);
    return {};
}

QString AskFileName(const FileDialogRequest& request, QWidget* parent)
{
    if (const FileDialogHook& hook = fileDialogHook())
        return hook(request);
    if (autoCloseMessages()) {
        QString answer;
        if (!fileAnswers().empty()) {
            answer = fileAnswers().front();
            fileAnswers().pop_front();
        }
        std::fprintf(stderr, "CVLOG DIALOG %s: %s\n", request.title.toLocal8Bit().constData(),
            answer.toLocal8Bit().constData());
        std::fflush(stderr);
        return answer;
    }

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

void ReportError(const std::exception& error)
{
    ShowErrorMessage(QString::fromUtf8(error.what()));
}

} // namespace cvlog
