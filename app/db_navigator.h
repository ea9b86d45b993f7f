#pragma once
// The navigator bar over the log table's main view: move, insert, delete,
// edit, post and cancel, each button enabled only when its action applies.

#include <QWidget>

#include <array>
#include <functional>

class QToolButton;

namespace cvlog
{

class DbfTable;

// A row being edited or added is written when it was changed and dropped
// when it was not, as before any move away from it.
void EndRowEdit(DbfTable& table);

class DBNavigator : public QWidget
{
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, ButtonCount };

    explicit DBNavigator(QWidget* parent = nullptr);

    // The view the buttons act on; null disables every button.
    void setTable(DbfTable* table);
    // Runs before every action that leaves or writes the row (moves, insert,
    // post): the grid hands its changed edits to the fields there.
    void setBeforeAction(std::function<void()> hook) { beforeAction_ = std::move(hook); }
    // Re-reads the view's position and state; called whenever the view changes.
    void updateButtons();

    QToolButton* button(Button which) const { return buttons_[which]; }
    void click(Button which);

private:
    std::array<QToolButton*, ButtonCount> buttons_ {};
    DbfTable* table_ = nullptr;
    std::function<void()> beforeAction_;
};

} // namespace cvlog
