// The main window's Database menu: wipe, compact, backup and restore. The
// file work is in logstore's maintenance; these handlers ask the questions
// and choose the files.

#include "app/cvlog_application.h"
#include "app/main_window.h"
#include "app/record_panel_grid.h"
#include "app/wait_cursor.h"
#include "logstore/log_history.h"
#include "logstore/log_maintenance.h"
#include "logstore/scope_exit.h"

#include <QCoreApplication>
#include <QLineEdit>

namespace cvlog
{

namespace
{

const FileDialogRequest kBackupDialog { FileDialogRequest::Mode::Save,
    QStringLiteral("Select name of database to save to"), QStringLiteral("database files (*.dbf)"),
    QStringLiteral("dbf") };
const FileDialogRequest kRestoreDialog { FileDialogRequest::Mode::Open,
    QStringLiteral("Select database to restore"), QStringLiteral("database files (*.dbf)"),
    QStringLiteral("dbf") };

// The hourglass shows at once, before the file work holds the loop up; the
// link's timer is not served here, so it never meets a closed table.
void showPendingWork()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
}

bool tableExists(const std::filesystem::path& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

} // namespace

// Each command first ends the edit of the current row, so that a typed text
// is in the log it backs up, compacts, keeps as a safety copy or replaces.
// Wipe, compact and restore replace the file: the history of its rows ends
// there (their safety copies are the way back), however the command ends.
void TForm1::Wipedatabase1Click()
{
    DBCtrlGrid1->finishEdit();
    // The total goes whatever the answers, and whatever happens to the file.
    const ScopeExit emptyTotal([this] { Edit1->clear(); });
    if (!AskYesNo(QStringLiteral("Erase the current database ? Are you sure ?"), this))
        return;
    if (!AskYesNo(
            QStringLiteral("Final confirmation: Are you sure you want to erase the flight log ?"), this))
        return;
    if (!tableExists(tablePath()))
        return;
    const ScopeExit forget([this] { history().clear(); });
    const auto wait = ShowWaitCursor();
    wipeLog(Dbf1);
}

void TForm1::Compactdatabse1Click()
{
    DBCtrlGrid1->finishEdit();
    {
        const ScopeExit forget([this] { history().clear(); });
        const auto wait = ShowWaitCursor();
        showPendingWork();
        Dbf1.compact();
    }
    showPendingWork();
    ShowPlainMessage(QStringLiteral("Compact database done"), this);
}

void TForm1::N1Click()
{
    DBCtrlGrid1->finishEdit();
    if (!tableExists(tablePath())) {
        ShowPlainMessage(QStringLiteral("Your CVLog.dbf file does not exist. Cannot backup."), this);
        return;
    }
    const QString target = AskSaveFileName(kBackupDialog, this);
    if (target.isEmpty())
        return;
    const auto wait = ShowWaitCursor();
    backupLog(Dbf1, target.toStdString());
}

void TForm1::Restoredatabase1Click()
{
    DBCtrlGrid1->finishEdit();
    const QString source = AskFileName(kRestoreDialog, this);
    if (source.isEmpty())
        return;
    if (isTheTableFile(source.toStdString(), tablePath())) {
        ShowPlainMessage(
            QStringLiteral("File cannot be restored to itself, please choose a new name."), this);
        return;
    }
    const ScopeExit forget([this] { history().clear(); });
    const auto wait = ShowWaitCursor();
    restoreLog(Dbf1, Dbf2, source.toStdString());
}

} // namespace cvlog
