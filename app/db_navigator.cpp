#include "app/db_navigator.h"

#include "app/cvlog_application.h"
#include "logstore/dbf_table.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

namespace cvlog
{

namespace
{

struct ButtonDesign {
    const char* objectName;
    const char* glyph;
    const char* hint;
};

constexpr std::array<ButtonDesign, DBNavigator::ButtonCount> kButtons { {
    { "First", "|\u25C0", "Goto first entry" },
    { "Prior", "\u25C0", "Goto previous entry" },
    { "Next", "\u25B6", "Goto next entry" },
    { "Last", "\u25B6|", "Goto last entry" },
    { "Insert", "+", "Insert a new entry" },
    { "Delete", "\u2212", "Delete current entry" },
    { "Edit", "\u25B2", "Edit current entry" },
    { "Post", "\u2714", "Post changes" },
    { "Cancel", "\u2718", "Cancel edit" },
} };

constexpr int kButtonWidth = 26;
constexpr int kButtonHeight = 41;

bool isEditing(const DbfTable& table)
{
    return table.state() == DbfTable::State::Edit || table.state() == DbfTable::State::Insert;
}

} // namespace

void EndRowEdit(DbfTable& table)
{
    if (!isEditing(table))
        return;
    if (table.isModified())
        table.post();
    else
        table.cancel();
}

DBNavigator::DBNavigator(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("DBNavigator1"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < ButtonCount; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(kButtons[i].objectName));
        b->setText(QString::fromUtf8(kButtons[i].glyph));
        b->setToolTip(QString::fromLatin1(kButtons[i].hint));
        b->setMinimumSize(kButtonWidth, kButtonHeight);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        // Clicking a button must not take the focus from a record edit: the
        // edit's text is handed to its field when the view moves or posts.
        b->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(b);
        buttons_[i] = b;
        connect(b, &QToolButton::clicked, this, Guarded([this, i] { click(static_cast<Button>(i)); }));
    }
    resize(kButtonWidth * ButtonCount, kButtonHeight);
    updateButtons();
}

void DBNavigator::setTable(DbfTable* table)
{
    table_ = table;
    updateButtons();
}

void DBNavigator::updateButtons()
{
    const bool open = table_ && table_->isOpen();
    // A log that could only be opened for reading is shown, never changed.
    const bool canModify = open && table_->writeRefusal().empty();
    const bool editing = open && isEditing(*table_);
    const bool up = open && !table_->bof();
    const bool down = open && !table_->eof();
    buttons_[First]->setEnabled(up);
    buttons_[Prior]->setEnabled(up);
    buttons_[Next]->setEnabled(down);
    buttons_[Last]->setEnabled(down);
    buttons_[Insert]->setEnabled(canModify);
    buttons_[Delete]->setEnabled(canModify && !table_->isEmpty());
    buttons_[Edit]->setEnabled(canModify && !editing);
    buttons_[Post]->setEnabled(editing);
    buttons_[Cancel]->setEnabled(editing);
}

void DBNavigator::click(Button which)
{
    if (!table_ || !buttons_[which]->isEnabled())
        return;
    const bool leavesRow = which <= Insert || which == Post;
    if (leavesRow && beforeAction_)
        beforeAction_();
    switch (which) {
    case First:
        EndRowEdit(*table_);
        table_->first();
        break;
    case Prior:
        EndRowEdit(*table_);
        table_->prior();
        break;
    case Next:
        EndRowEdit(*table_);
        table_->next();
        break;
    case Last:
        EndRowEdit(*table_);
        table_->last();
        break;
    case Insert:
        EndRowEdit(*table_);
        table_->insert();
        break;
    case Delete:
        if (!AskOkCancel(QStringLiteral("Delete record?"), window()))
            break;
        // A row still being added is not in the file yet: deleting it drops it.
        if (table_->state() == DbfTable::State::Insert)
            table_->cancel();
        else
            table_->remove();
        break;
    case Edit:
        table_->edit();
        break;
    case Post:
        table_->post();
        break;
    case Cancel:
        table_->cancel();
        break;
    case ButtonCount:
        break;
    }
    updateButtons();
}

} // namespace cvlog
