// The Edit menu over a seeded log: its items name the step, its keys undo a
// text box's typing before the log's steps, and the commands that replace the
// file end the history.

#include "display_test_support.h"

#include "app/db_navigator.h"
#include "logstore/log_history.h"
#include "presentation/short_date.h"

#include <QAction>
#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <utility>
#include <vector>

namespace cvlog::test
{
namespace
{

class UndoWindowTest : public DisplayTest
{
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        seed({ { QDate(2026, 3, 1), 60 }, { QDate(2026, 3, 2), 70 } });
        form = start();
        form->show();
        QApplication::setActiveWindow(form.get());
    }

    // The flag byte of a row in the file.
    char flagInFile(int row) const { return ReadAll(file("CVLog.dbf")).at(321 + (row - 1) * 127); }

    void deleteFirstRow()
    {
        form->Dbf1.first();
        messages.answers = { true };
        form->DBNavigator1->button(DBNavigator::Delete)->click();
    }

    std::unique_ptr<TForm1> form;
};

TEST_F(UndoWindowTest, ItemsNameTheStepAndTheKeysUndoTypingFirst)
{
    EXPECT_EQ(form->Undo1->text(), QStringLiteral("&Undo"));
    EXPECT_FALSE(form->Undo1->isEnabled());
    EXPECT_EQ(form->Redo1->text(), QStringLiteral("&Redo"));
    EXPECT_FALSE(form->Redo1->isEnabled());

    deleteFirstRow();
    const QString step = QStringLiteral("delete of flight ") + shortDateText(QDate(2026, 3, 1));
    EXPECT_EQ(form->Undo1->text(), "&Undo " + step);
    EXPECT_TRUE(form->Undo1->isEnabled());
    EXPECT_EQ(flagInFile(1), '*');

    // Typed text in a record edit: the first Ctrl+Z takes the typing back,
    // the log stays as it is; the next one undoes the delete.
    QLineEdit* comment = currentEdit(*form, kComment);
    comment->setFocus();
    QTest::keyClicks(comment, QStringLiteral("typed"));
    QTest::keyClick(comment, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(comment->text(), QString());
    EXPECT_EQ(flagInFile(1), '*');
    EXPECT_EQ(form->Undo1->text(), "&Undo " + step);
    QTest::keyClick(comment, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(flagInFile(1), ' ');
    EXPECT_EQ(form->Undo1->text(), QStringLiteral("&Undo"));
    EXPECT_FALSE(form->Undo1->isEnabled());
    EXPECT_EQ(form->Redo1->text(), "&Redo " + step);

    // Both redo keys, wherever the focus is.
    QScrollBar* bar = form->DBCtrlGrid1->scrollBar();
    QTest::keyClick(bar, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(flagInFile(1), '*');
    QTest::keyClick(bar, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(flagInFile(1), ' ');
    QTest::keyClick(bar, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(flagInFile(1), '*');
    EXPECT_FALSE(form->Redo1->isEnabled());
}

TEST_F(UndoWindowTest, WipeCompactAndRestoreEndTheHistory)
{
    messages.fileAnswers = { file("backup.dbf") };
    form->N1->trigger();
    const std::vector<std::pair<const char*, std::function<void()>>> commands {
        { "wipe",
            [this] {
                messages.answers = { true, true };
                form->Wipedatabase1->trigger();
            } },
        { "compact", [this] { form->Compactdatabse1->trigger(); } },
        { "restore",
            [this] {
                messages.fileAnswers = { file("backup.dbf") };
                form->Restoredatabase1->trigger();
            } },
    };
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        deleteFirstRow();
        form->Undo1->trigger();
        deleteFirstRow();
        ASSERT_TRUE(form->Undo1->isEnabled());
        ASSERT_TRUE(form->Redo1->isEnabled() || form->history().canUndo());
        command();
        EXPECT_FALSE(form->Undo1->isEnabled());
        EXPECT_FALSE(form->Redo1->isEnabled());
        EXPECT_EQ(form->Undo1->text(), QStringLiteral("&Undo"));
        // The wipe leaves no row to delete; the restore brings them back.
        if (form->Dbf1.isEmpty()) {
            messages.fileAnswers = { file("backup.dbf") };
            form->Restoredatabase1->trigger();
        }
    }
}

} // namespace
} // namespace cvlog::test
