// The main window's date filter controls and the port selection command.

#include "app/cvlog_application.h"
#include "app/main_window.h"
#include "app/port_dialog.h"
#include "app/record_panel_grid.h"
#include "app/wait_cursor.h"
#include "link/comm.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QSignalBlocker>

#include <functional>
#include <optional>

namespace cvlog
{

namespace
{

// Runs one filter command with the wait cursor up. These handlers run inside
// the widgets' own signals, which an exception must not cross: a failure goes
// to the general error handling here, once the pointer is back.
std::optional<DateFilterView> underWaitCursor(const std::function<DateFilterView()>& command)
{
    try {
        const auto wait = ShowWaitCursor();
        return command();
    } catch (const std::exception& error) {
        ReportError(error);
    }
    return std::nullopt;
}

} // namespace

bool TForm1::installDateFilter()
{
    Dbf1.setFilterPredicate(dateFilter_.predicate(Dbf1));
    // A re-reading with the box unchecked empties the total box; the box may
    // not be made yet when the first reading happens.
    dateFilter_.setTotalEmptied([this] {
        if (Edit1)
            Edit1->clear();
    });
    return true;
}

void TForm1::showDateFilter(const DateFilterView& view)
{
    if (!view.changed)
        return;
    if (DateTo->date() != view.to) {
        // Raising the To date is not a change of the picker of its own.
        const QSignalBlocker blocker(DateTo);
        DateTo->setDate(view.to);
    }
    Edit1->setText(view.totalText);
}

void TForm1::CheckBox1Click()
{
    try {
        DBCtrlGrid1->finishEdit();
    } catch (const std::exception& error) {
        // The refused value is put right first; until then the box shows
        // the filter that applies.
        const QSignalBlocker blocker(CheckBox1);
        CheckBox1->setChecked(!CheckBox1->isChecked());
        ReportError(error);
        return;
    }
    if (const auto view = underWaitCursor([this] {
            return dateFilter_.setOn(Dbf1, CheckBox1->isChecked(), DateFrom->date(), DateTo->date());
        }))
        showDateFilter(*view);
}

void TForm1::DateFromChange()
{
    if (const auto view = underWaitCursor([this] {
            DBCtrlGrid1->finishEdit();
            return dateFilter_.periodChanged(Dbf1, CheckBox1->isChecked(), DateFrom->date(), DateTo->date());
        }))
        showDateFilter(*view);
}

void TForm1::DateToChange()
{
    DateFromChange();
}

void TForm1::Communicationsport1Click()
{
    if (!form4_)
        return;
    form4_->setPortContext({ &Comm1, &link, linkDriver_.get(), settingsPath() });
    form4_->SelectCurrentPort();
    ExecDialog(*form4_);
}

} // namespace cvlog
