#include "app/cvlog_application.h"

#include "logstore/log_maintenance.h"

namespace cvlog
{

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

void ShowPlainMessage(const QString& text, QWidget* parent)
{
    Answers().message({ MessageKind::Plain, QString::fromLatin1(kApplicationTitle), text }, parent);
}

void ShowErrorMessage(const QString& message, QWidget* parent)
{
    Answers().message(
        { MessageKind::Error, QString::fromLatin1(kApplicationTitle), errorText(message) }, parent);
}

bool AskOkCancel(const QString& text, QWidget* parent)
{
    return Answers().message({ MessageKind::OkCancel, QStringLiteral("Confirm"), text }, parent);
}

bool AskYesNo(const QString& text, QWidget* parent)
{
    return Answers().message({ MessageKind::Confirm, QStringLiteral("Confirm"), text }, parent);
}

int ExecDialog(QDialog& dialog)
{
    return Answers().dialog(dialog);
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
    const bool own = (!logTableFile().empty() && isTheLogsOwnFile(chosen, logTableFile()))
        || namesTheSameFile(chosen, QCoreApplication::applicationFilePath().toStdString());
    if (!own)
        return path;
    ShowPlainMessage(QStringLiteral("File cannot be saved to itself, please choose a new name."), parent);
    return {};
}

QString AskFileName(const FileDialogRequest& request, QWidget* parent)
{
    return Answers().fileName(request, parent);
}

void ReportError(const std::exception& error)
{
    ShowErrorMessage(QString::fromUtf8(error.what()));
}

} // namespace cvlog
