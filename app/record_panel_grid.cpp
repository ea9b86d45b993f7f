#include "app/record_panel_grid.h"

#include "app/cvlog_application.h"
#include "app/db_navigator.h"
#include "logstore/conversions.h"
#include "presentation/field_text.h"
#include "presentation/grid_rows.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>
#include <QValidator>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <vector>

namespace cvlog
{

namespace
{

struct EditDesign {
    const char* objectName;
    int left;
    int top;
    int width;
    int tabOrder;
    int maxLength; // 0: no limit of its own
};

// The edits of the log's fields, in the order of LogField.
constexpr std::array<EditDesign, kLogFieldCount> kEdits { {
    { "DBEdit1", 8, 24, 81, 7, 0 }, // TAKEOFFD
    { "DBEdit9", 88, 24, 41, 8, 5 }, // TAKEOFFT
    { "DBEdit2", 144, 24, 49, 0, 0 }, // FLIGHTTIME
    { "DBEdit3", 360, 24, 49, 1, 0 }, // MAXALT
    { "DBEdit4", 416, 24, 41, 2, 0 }, // MAXSPD
    { "DBEdit8", 600, 48, 41, 6, 0 }, // STUDENT
    { "DBEdit7", 464, 24, 65, 5, 0 }, // HOBBS
    { "DBEdit6", 536, 24, 49, 4, 4 }, // INSTRUMENT
    { "DBEdit5", 144, 48, 441, 3, 64 } // COMMENT
} };

struct LabelDesign {
    const char* objectName;
    const char* caption;
    int left;
    int top;
};

constexpr int kStudentLabel = 7;
constexpr std::array<LabelDesign, 8> kLabels { {
    { "Label1", "Date and time of take off", 8, 8 },
    { "Label2", "Flight time", 144, 8 },
    { "Label3", "Altitude", 360, 8 },
    { "Label4", "Speed", 416, 8 },
    { "Label5", "Hobbs", 464, 8 },
    { "Label6", "Instrument", 536, 8 },
    { "Label7", "Comment", 96, 52 },
    { "Label8", "Student", 600, 32 },
} };

// A field's place in the arrays of the panel's edits.
constexpr std::size_t slot(LogField field)
{
    return static_cast<std::size_t>(field);
}

constexpr int kEditHeight = 21;
constexpr int kWheelNotch = 120;

// Keys were sifted on the way in; a pasted or dropped text is made storable
// here, before the edit shows it.
class PastedTextValidator : public QValidator
{
public:
    PastedTextValidator(std::function<void(QString&, int&)> fix, QObject* parent)
        : QValidator(parent)
        , fix_(std::move(fix))
    {
    }
    State validate(QString& input, int& cursor) const override
    {
        fix_(input, cursor);
        return Acceptable;
    }

private:
    std::function<void(QString&, int&)> fix_;
};

constexpr int kColumnGap = 4;
constexpr int kRightMargin = 16;
constexpr int kCommentLabel = 6;

// A column of the panel: a caption above its edits, and a second caption
// that moves with them.
struct PanelColumn {
    int label;
    std::vector<LogField> fields;
    int extraLabel;
};

const std::array<PanelColumn, 6>& panelColumns()
{
    static const std::array<PanelColumn, 6> columns { {
        { 0, { kTakeoffDate, kTakeoffTime }, -1 },
        { 1, { kFlightTime, kComment }, kCommentLabel },
        { 2, { kMaxAltitude }, -1 },
        { 3, { kMaxSpeed }, -1 },
        { 4, { kHobbs }, -1 },
        { 5, { kInstrument, kStudent }, kStudentLabel },
    } };
    return columns;
}

int clampToInt(std::uint32_t value)
{
    return static_cast<int>(std::min<std::uint32_t>(value, INT_MAX));
}

} // namespace

struct RecordPanelGrid::Panel {
    QFrame* frame = nullptr;
    std::array<QLineEdit*, kLogFieldCount> edits {};
    std::array<QLabel*, kLabels.size()> labels {};
};

RecordPanelGrid::RecordPanelGrid(QWidget* parent)
    : QWidget(parent)
    , studentHidden_([](const QString& text) { return !studentEditVisible(text); })
{
    setObjectName(QStringLiteral("DBCtrlGrid1"));
    for (LogField f : kLogFields)
        bindings_[slot(f)] = storedFieldTextBinding(logTableField(f).type);

    int panelWidth = kPanelWidth;
    for (int i = 0; i < kPanelCount; ++i) {
        buildPanel(i);
        panelWidth = std::max(panelWidth, arrangePanel(*panels_[i]));
    }
    for (int i = 0; i < kPanelCount; ++i)
        panels_[i]->frame->resize(panelWidth, kPanelHeight);

    scrollBar_ = new QScrollBar(Qt::Vertical, this);
    scrollBar_->setObjectName(QStringLiteral("ScrollBar"));
    const int barWidth = std::max(scrollBar_->sizeHint().width(), 17);
    scrollBar_->setGeometry(panelWidth, 0, barWidth, kPanelHeight * kPanelCount);
    scrollBar_->setPageStep(kPanelCount);
    connect(scrollBar_, &QScrollBar::actionTriggered, this,
        [this](int action) { userMove([&] { onScrollAction(action); }); });
    setFixedSize(panelWidth + barWidth, kPanelHeight * kPanelCount);
    reload();
}

RecordPanelGrid::~RecordPanelGrid()
{
    if (table_)
        table_->setBeforeChange({});
    // The edits die after this object; an edit losing the focus on its way
    // out must not reach a grid that is already gone.
    for (const auto& panel : panels_) {
        for (QLineEdit* e : panel->edits) {
            e->disconnect(this);
            e->setValidator(nullptr);
        }
    }
}

void RecordPanelGrid::buildPanel(int index)
{
    auto p = std::make_unique<Panel>();
    p->frame = new QFrame(this);
    p->frame->setObjectName(QStringLiteral("Panel%1").arg(index + 1));
    p->frame->setGeometry(0, index * kPanelHeight, kPanelWidth, kPanelHeight);
    p->frame->setFrameShape(QFrame::Box);
    p->frame->setAutoFillBackground(true);
    p->frame->installEventFilter(this);

    for (std::size_t l = 0; l < kLabels.size(); ++l) {
        auto* label = new QLabel(QString::fromLatin1(kLabels[l].caption), p->frame);
        label->setObjectName(QString::fromLatin1(kLabels[l].objectName));
        label->move(kLabels[l].left, kLabels[l].top);
        label->adjustSize();
        p->labels[l] = label;
    }

    // Made in tab order, which is the order the tab key walks them.
    for (int t = 0; t < kLogFieldCount; ++t) {
        const LogField f = *std::find_if(kLogFields.begin(), kLogFields.end(),
            [t](LogField field) { return kEdits[slot(field)].tabOrder == t; });
        const EditDesign& d = kEdits[slot(f)];
        auto* edit = new QLineEdit(p->frame);
        edit->setObjectName(QString::fromLatin1(d.objectName));
        edit->setGeometry(d.left, d.top, d.width, std::max(kEditHeight, edit->sizeHint().height()));
        if (d.maxLength > 0)
            edit->setMaxLength(d.maxLength);
        edit->installEventFilter(this);
        edit->setValidator(new PastedTextValidator(
            [this, f](QString& text, int& cursor) { makeStorable(f, text, cursor); }, edit));
        connect(edit, &QLineEdit::textEdited, this, Guarded([this, edit] {
            // A pasted text made storable is set anew, which clears the flag.
            edit->setModified(true);
            if (panelOf(edit, nullptr) == currentPanel_ && table_
                && table_->state() == DbfTable::State::Browse)
                table_->edit();
        }));
        connect(edit, &QLineEdit::editingFinished, this, [this, edit] {
            std::optional<LogField> field;
            if (panelOf(edit, &field) != currentPanel_ || !field || !edit->isModified() || !table_)
                return;
            // Moving into another panel hands the edits over on the way there.
            const int target = panelOf(QApplication::focusWidget(), nullptr);
            if (target >= 0 && target != currentPanel_)
                return;
            userMove([&] {
                bindings_[slot(*field)].setText(*table_, *field, edit->text());
                edit->setModified(false);
                showRow(currentPanel_, table_->currentFlight(), true);
            });
        });
        p->edits[slot(f)] = edit;
    }
    panels_[index] = std::move(p);
}

int RecordPanelGrid::arrangePanel(Panel& p)
{
    // The designed places hold for the designed font. Where a caption is
    // wider in the desktop's font, the columns after it move right so that
    // no text is cut, and the panel grows if it has to.
    int shift = 0;
    int previousRight = 0;
    int right = 0;
    for (const PanelColumn& column : panelColumns()) {
        QLabel* caption = p.labels[column.label];
        const int designedLeft = kLabels[column.label].left;
        shift = std::max(shift, previousRight + kColumnGap - designedLeft);
        caption->move(designedLeft + shift, kLabels[column.label].top);
        previousRight = caption->geometry().right() + 1;
        right = std::max(right, previousRight);
        for (LogField f : column.fields) {
            QLineEdit* e = p.edits[slot(f)];
            e->move(kEdits[slot(f)].left + shift, kEdits[slot(f)].top);
            right = std::max(right, e->geometry().right() + 1);
        }
        if (column.extraLabel >= 0) {
            QLabel* extra = p.labels[column.extraLabel];
            int left = kLabels[column.extraLabel].left + shift;
            // The Comment caption stands left of its edit and grows leftwards.
            if (column.extraLabel == kCommentLabel)
                left = std::min(left, p.edits[slot(kComment)]->x() - kColumnGap - extra->width());
            extra->move(std::max(left, 0), kLabels[column.extraLabel].top);
            right = std::max(right, extra->geometry().right() + 1);
        }
    }
    return std::max(kPanelWidth, right + kRightMargin);
}

void RecordPanelGrid::setTable(FlightLog* table)
{
    if (table_)
        table_->setBeforeChange({});
    table_ = table;
    topRecord_ = kNoRow;
    if (table_)
        table_->setBeforeChange([this] { handOverEdits(); });
    reload();
}

void RecordPanelGrid::setFieldBinding(LogField field, FieldTextBinding binding)
{
    bindings_[slot(field)] = std::move(binding);
    reload();
}

void RecordPanelGrid::setStudentHiddenRule(std::function<bool(const QString&)> rule)
{
    studentHidden_ = std::move(rule);
    reload();
}

void RecordPanelGrid::tableChanged(DbfTable::Change)
{
    reload();
}

std::uint32_t RecordPanelGrid::anchorRecord() const
{
    if (table_->state() != DbfTable::State::Insert)
        return table_->recordNumber();
    // A new row stands before the row it was inserted at, or after the last.
    if (const std::uint32_t before = table_->insertPosition(); before != kNoRow)
        return before;
    return table_->priorVisible(table_->recordCount() + 1);
}

void RecordPanelGrid::reload()
{
    if (!table_ || !table_->isOpen()) {
        for (int i = 0; i < kPanelCount; ++i)
            clearPanel(i);
        setCurrentPanel(-1);
        syncScrollBar();
        return;
    }

    // A text edit holds what its field in the open file holds: another
    // program's file may have wider fields, whose texts must be neither cut
    // when shown nor lost when edited.
    for (LogField f : kLogFields) {
        if (kEdits[slot(f)].maxLength == 0)
            continue;
        const int width = table_->field(f).width;
        for (const auto& p : panels_) {
            if (p->edits[slot(f)]->maxLength() != width)
                p->edits[slot(f)]->setMaxLength(width);
        }
    }

    const bool inserting = table_->state() == DbfTable::State::Insert;
    const DbfTable& view = *table_;
    const GridRows chosen = chooseGridRows(
        { [&view](std::uint32_t after) { return view.nextVisible(after); },
            [&view](std::uint32_t before) { return view.priorVisible(before); } },
        { kPanelCount, anchorRecord(), topRecord_, inserting, inserting && view.insertPosition() == kNoRow });
    topRecord_ = chosen.top;
    const std::vector<std::uint32_t>& rows = chosen.rows;
    const int currentIndex = chosen.currentPanel;

    std::optional<LogField> focusedField;
    const bool focusInGrid = panelOf(QApplication::focusWidget(), &focusedField) >= 0 && focusedField;
    const int previousPanel = currentPanel_;
    setCurrentPanel(currentIndex);

    const bool editing = table_->state() != DbfTable::State::Browse;
    for (int i = 0; i < kPanelCount; ++i) {
        const std::uint32_t r = i < static_cast<int>(rows.size()) ? rows[i] : kNoRow;
        shown_[i] = r;
        if (r == kNoRow) {
            clearPanel(i);
        } else if (i == currentIndex) {
            showRow(i, table_->currentFlight(), editing && previousPanel == currentIndex);
        } else {
            showRow(i, table_->flight(r), false);
        }
    }
    if (focusInGrid && currentIndex >= 0 && currentIndex != previousPanel)
        edit(currentIndex, *focusedField)->setFocus();
    syncScrollBar();
}

void RecordPanelGrid::showRow(int panel, const LoggedFlight& row, bool keepModified)
{
    Panel& p = *panels_[panel];
    for (LogField f : kLogFields) {
        QLineEdit* e = p.edits[slot(f)];
        if (keepModified && e->isModified())
            continue;
        // An unchanged text is left alone, so a reload while the user is in
        // the edit (a download appending rows) keeps the cursor where it was.
        const QString text = bindings_[slot(f)].getText(row, f);
        if (e->text() != text)
            e->setText(text);
        e->setModified(false);
        if (!e->hasFocus())
            e->setCursorPosition(0);
    }
    const bool hideStudent = studentHidden_ && studentHidden_(p.edits[slot(kStudent)]->text());
    p.edits[slot(kStudent)]->setVisible(!hideStudent);
    p.labels[kStudentLabel]->setVisible(!hideStudent);
    p.frame->setVisible(true);
}

void RecordPanelGrid::clearPanel(int panel)
{
    Panel& p = *panels_[panel];
    shown_[panel] = kNoRow;
    for (QLineEdit* e : p.edits) {
        e->clear();
        e->setModified(false);
    }
    // An empty panel shows nothing, as there is no row behind it.
    p.frame->setVisible(false);
}

void RecordPanelGrid::setCurrentPanel(int panel)
{
    currentPanel_ = panel;
    // A log that could only be opened for reading takes no typing.
    const bool writable = table_ && table_->writeRefusal().empty();
    for (int i = 0; i < kPanelCount; ++i) {
        Panel& p = *panels_[i];
        const bool current = i == panel;
        QPalette palette = this->palette();
        if (current)
            palette.setColor(QPalette::Window, palette.color(QPalette::Dark));
        p.frame->setPalette(palette);
        for (QLineEdit* e : p.edits) {
            e->setReadOnly(!current || !writable);
            // The tab key walks the current panel only; the others are reached by a click.
            e->setFocusPolicy(current ? Qt::StrongFocus : Qt::ClickFocus);
        }
    }
}

void RecordPanelGrid::syncScrollBar()
{
    const QSignalBlocker block(scrollBar_);
    const bool open = table_ && table_->isOpen() && table_->recordCount() > 0;
    scrollBar_->setEnabled(open);
    if (!open) {
        scrollBar_->setRange(0, 0);
        return;
    }
    scrollBar_->setRange(1, clampToInt(table_->recordCount()));
    scrollBar_->setValue(clampToInt(std::max<std::uint32_t>(anchorRecord(), 1)));
}

void RecordPanelGrid::handOverEdits()
{
    if (!table_ || currentPanel_ < 0)
        return;
    Panel& p = *panels_[currentPanel_];
    for (LogField f : kLogFields) {
        QLineEdit* e = p.edits[slot(f)];
        if (!e->isModified())
            continue;
        try {
            bindings_[slot(f)].setText(*table_, f, e->text());
        } catch (const DbfError&) {
            e->setFocus();
            e->selectAll();
            throw;
        }
        e->setModified(false);
    }
}

void RecordPanelGrid::finishEdit()
{
    if (!table_ || !table_->isOpen())
        return;
    handOverEdits();
    EndRowEdit(*table_);
}

void RecordPanelGrid::makeStorable(LogField field, QString& text, int& cursor)
{
    const auto& storable = bindings_[slot(field)].storable;
    if (!storable)
        return;
    StorableText made = storable(text);
    if (made.text == text)
        return;
    cursor = static_cast<int>(storable(QStringView(text).left(cursor)).text.size());
    text = std::move(made.text);
    if (made.replaced.isEmpty())
        return;
    // The edit is in the middle of taking the text; the box waits until it is done.
    QTimer::singleShot(0, this,
        [this, message = replacedCharactersMessage(made.replaced)] { ShowPlainMessage(message, window()); });
}

void RecordPanelGrid::step(int rows)
{
    if (!table_ || !table_->isOpen() || rows == 0)
        return;
    finishEdit();
    {
        const auto suspended = displaySuspended(*table_);
        for (int i = 0; i < rows && !table_->eof(); ++i)
            table_->next();
        for (int i = 0; i > rows && !table_->bof(); --i)
            table_->prior();
    }
    reload();
}

void RecordPanelGrid::moveTo(std::uint32_t recordNumber)
{
    if (!table_ || !table_->isOpen() || recordNumber == kNoRow || recordNumber == kAddedGridRow)
        return;
    if (recordNumber == table_->recordNumber() && table_->state() != DbfTable::State::Insert)
        return;
    finishEdit();
    table_->moveToRecord(recordNumber);
    reload();
}

void RecordPanelGrid::activatePanel(int panel)
{
    if (panel < 0 || panel >= kPanelCount || panel == currentPanel_)
        return;
    moveTo(shown_[panel]);
}

void RecordPanelGrid::onScrollAction(int action)
{
    if (!table_ || !table_->isOpen())
        return;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        step(1);
        break;
    case QAbstractSlider::SliderSingleStepSub:
        step(-1);
        break;
    case QAbstractSlider::SliderPageStepAdd:
        step(kPanelCount);
        break;
    case QAbstractSlider::SliderPageStepSub:
        step(-kPanelCount);
        break;
    case QAbstractSlider::SliderToMinimum:
        finishEdit();
        table_->first();
        break;
    case QAbstractSlider::SliderToMaximum:
        finishEdit();
        table_->last();
        break;
    case QAbstractSlider::SliderMove: {
        const auto target = static_cast<std::uint32_t>(std::max(scrollBar_->sliderPosition(), 1));
        const std::uint32_t current = anchorRecord();
        if (target == current)
            return;
        // Upwards the nearest visible row at or before the target, so deleted
        // rows above never hold the bar back.
        std::uint32_t record = target;
        if (target < current) {
            record = table_->priorVisible(target + 1);
            if (record == kNoRow)
                record = table_->nextVisible(0);
        }
        moveTo(record);
        return; // the bar stays where the user drags it
    }
    default:
        return;
    }
    reload();
    scrollBar_->setSliderPosition(clampToInt(std::max<std::uint32_t>(anchorRecord(), 1)));
}

void RecordPanelGrid::wheelEvent(QWheelEvent* event)
{
    const int notches = event->angleDelta().y() / kWheelNotch;
    if (notches != 0)
        userMove([&] { step(-notches); });
    event->accept();
}

int RecordPanelGrid::panelOf(const QObject* object, std::optional<LogField>* field) const
{
    if (!object)
        return -1;
    for (int i = 0; i < kPanelCount; ++i) {
        if (!panels_[i]) // still being built
            continue;
        const Panel& p = *panels_[i];
        if (object == p.frame) {
            if (field)
                field->reset();
            return i;
        }
        for (LogField f : kLogFields) {
            if (object == p.edits[slot(f)]) {
                if (field)
                    *field = f;
                return i;
            }
        }
    }
    return -1;
}

bool RecordPanelGrid::eventFilter(QObject* watched, QEvent* event)
{
    std::optional<LogField> field;
    const int panel = panelOf(watched, &field);
    if (panel < 0)
        return QWidget::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::MouseButtonPress:
        // An edit of another panel makes its row current when it takes the focus.
        if (!field && panel != currentPanel_)
            userMove([&] { activatePanel(panel); });
        break;
    case QEvent::FocusIn:
        if (field && panel != currentPanel_)
            userMove([&] { activatePanel(panel); });
        break;
    case QEvent::KeyPress: {
        if (!field || panel != currentPanel_)
            break;
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Up:
            userMove([&] { step(-1); });
            return true;
        case Qt::Key_Down:
            userMove([&] { step(1); });
            return true;
        case Qt::Key_PageUp:
            userMove([&] { step(-kPanelCount); });
            return true;
        case Qt::Key_PageDown:
            userMove([&] { step(kPanelCount); });
            return true;
        default:
            break;
        }
        const auto& acceptsKey = bindings_[slot(*field)].acceptsKey;
        if (acceptsKey && !key->text().isEmpty() && !acceptsKey(key->text())
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            QApplication::beep();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void RecordPanelGrid::userMove(const std::function<void()>& move)
{
    try {
        move();
    } catch (const std::exception& error) {
        reportRefusal(QString::fromUtf8(error.what()));
    }
}

void RecordPanelGrid::reportRefusal(const QString& message)
{
    // The scroll bar repeats and the focus is on its way elsewhere: one box,
    // once the event is over, then the refused edit has the focus again.
    if (refusalPending_)
        return;
    refusalPending_ = true;
    QTimer::singleShot(0, this, [this, message] {
        ShowErrorMessage(message, window());
        refusalPending_ = false;
        if (QLineEdit* refused = firstModifiedEdit()) {
            refused->setFocus();
            refused->selectAll();
        }
    });
}

QLineEdit* RecordPanelGrid::firstModifiedEdit() const
{
    if (currentPanel_ < 0)
        return nullptr;
    for (QLineEdit* e : panels_[currentPanel_]->edits)
        if (e->isModified())
            return e;
    return nullptr;
}

QFrame* RecordPanelGrid::panel(int index) const
{
    return panels_.at(index)->frame;
}

QLineEdit* RecordPanelGrid::edit(int panel, LogField field) const
{
    return panels_.at(panel)->edits[slot(field)];
}

QLabel* RecordPanelGrid::studentLabel(int panel) const
{
    return panels_.at(panel)->labels[kStudentLabel];
}

std::uint32_t RecordPanelGrid::panelRecord(int panel) const
{
    const std::uint32_t r = shown_.at(panel);
    return r == kAddedGridRow ? kNoRow : r;
}

} // namespace cvlog
