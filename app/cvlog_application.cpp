#include "app/cvlog_application.h"

#include <QAbstractButton>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
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
        closer.setSingleShot(true);
        QObject::connect(&closer, &QTimer::timeout, accept, &QAbstractButton::click);
        closer.start(0);
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
    }
    return dialog.exec();
}

void ReportError(const std::exception& error)
{
    ShowErrorMessage(QString::fromUtf8(error.what()));
}

} // namespace cvlog
