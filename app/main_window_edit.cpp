// The main window's Edit menu: undo and redo of the log's steps.

#include "app/cvlog_application.h"
#include "app/main_window.h"
#include "app/record_panel_grid.h"
#include "logstore/log_history.h"
#include "presentation/short_date.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

namespace cvlog
{

namespace
{

// A text box takes the undo and redo keys for itself. In the main window
// they undo its typing while it has some, as a text box does, and the log's
// steps once it has none: a key the box has no use for goes to the menu item.
class HistoryKeys : public QObject
{
public:
    HistoryKeys(QWidget* window, QAction* undo, QAction* redo)
        : QObject(window)
        , window_(window)
        , undo_(undo)
        , redo_(redo)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() != window_)
            return false;
        const QKeyCombination key = static_cast<QKeyEvent*>(event)->keyCombination();
        const bool undo = isShortcutOf(undo_, key);
        if (!undo && !isShortcutOf(redo_, key))
            return false;
        // A date picker holds its text box inside.
        auto* box = qobject_cast<QLineEdit*>(widget);
        if (box == nullptr)
            box = widget->findChild<QLineEdit*>();
        if (box == nullptr || (undo ? box->isUndoAvailable() : box->isRedoAvailable()))
            return false;
        QAction* action = undo ? undo_ : redo_;
        if (action->isEnabled())
            action->trigger();
        return true;
    }

private:
    static bool isShortcutOf(const QAction* action, QKeyCombination key)
    {
        for (const QKeySequence& shortcut : action->shortcuts()) {
            if (shortcut.count() == 1 && shortcut[0] == key)
                return true;
        }
        return false;
    }

    QWidget* window_;
    QAction* undo_;
    QAction* redo_;
};

} // namespace

void TForm1::buildEditMenu()
{
    Edit2 = menuBar()->addMenu(QStringLiteral("&Edit"));
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Undo1 = Edit2->addAction(QStringLiteral("&Undo"));
    Undo1->setObjectName(QStringLiteral("Undo1"));
    Undo1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    connect(Undo1, &QAction::triggered, this, Guarded(this, &TForm1::Undo1Click));
    Redo1 = Edit2->addAction(QStringLiteral("&Redo"));
    Redo1->setObjectName(QStringLiteral("Redo1"));
    Redo1->setShortcuts(
        { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y) });
    connect(Redo1, &QAction::triggered, this, Guarded(this, &TForm1::Redo1Click));
    qApp->installEventFilter(new HistoryKeys(this, Undo1, Redo1));

    history_ = std::make_unique<LogHistory>(Dbf1, [this](const DbfRecord& row) {
        const LoggedFlight flight = Dbf1.flight(row);
        return QStringLiteral("flight %1 %2")
            .arg(shortDateText(flight.date(kTakeoffDate)), flight.text(kTakeoffTime))
            .trimmed();
    });
    history_->setChangeListener([this] { showHistory(); });
    showHistory();
}

void TForm1::showHistory()
{
    const LogHistory& history = *history_;
    Undo1->setText(history.canUndo() ? QLatin1Char('&') + history.undoText() : QStringLiteral("&Undo"));
    Undo1->setEnabled(history.canUndo());
    Redo1->setText(history.canRedo() ? QLatin1Char('&') + history.redoText() : QStringLiteral("&Redo"));
    Redo1->setEnabled(history.canRedo());
}

void TForm1::Undo1Click()
{
    takeHistoryStep(&LogHistory::undo);
}

void TForm1::Redo1Click()
{
    takeHistoryStep(&LogHistory::redo);
}

// A typed edit is posted first, and is then the step undone.
void TForm1::takeHistoryStep(QString (LogHistory::*step)())
{
    DBCtrlGrid1->finishEdit();
    if (const QString refusal = (history_.get()->*step)(); !refusal.isEmpty())
        ShowPlainMessage(refusal, this);
}

} // namespace cvlog
