#pragma once
// The record panel grid: five panels in one column, each showing one row of
// the log table with its nine edits, and a scroll bar over the whole table.
//
// Only the rows on show are read (through peek and the visible-row walk), so
// a table of a million rows scrolls as smoothly as a short one. The panel of
// the current row is the only editable one; clicking another panel makes its
// row current. Typing starts an edit of the row, leaving an edit hands its
// text to the field, and leaving the row writes it when it was changed.

#include "logstore/flight_log.h"
#include "presentation/field_text.h"

#include <QDate>
#include <QLocale>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class QFrame;
class QLabel;
class QLineEdit;
class QScrollBar;

namespace cvlog
{

class RecordPanelGrid : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kPanelCount = 5;
    static constexpr int kPanelWidth = 657;
    static constexpr int kPanelHeight = 75;
    static constexpr std::uint32_t kNoRow = 0;

    explicit RecordPanelGrid(QWidget* parent = nullptr);
    ~RecordPanelGrid() override;

    // The view shown; the grid hands changed edits to it before it moves,
    // posts or re-reads.
    void setTable(FlightLog* table);
    void setFieldBinding(LogField field, FieldTextBinding binding);
    // Whether a panel hides its Student edit and label for the text shown.
    void setStudentHiddenRule(std::function<bool(const QString& studentText)> rule);

    // The view changed (its one listener passes this on).
    void tableChanged(DbfTable::Change change);
    void reload();

    // Hands every changed edit of the current panel to its field; throws when
    // a field refuses a text, with that edit focused and its text selected.
    void handOverEdits();
    // Ends the edit of the current row the one way every command does before
    // it reads, moves, rewrites or closes the log: the typed texts go to their
    // fields, a changed row is posted and an unchanged one dropped. Throws
    // when a field refuses its text; the row is then still being edited,
    // with that edit focused and its text selected.
    void finishEdit();
    // Leaves the current row (writing it when changed) and moves by the given
    // number of visible rows.
    void step(int rows);
    // Makes the row of the given panel current.
    void activatePanel(int panel);

    QFrame* panel(int index) const;
    QLineEdit* edit(int panel, LogField field) const;
    QLabel* studentLabel(int panel) const;
    QScrollBar* scrollBar() const { return scrollBar_; }
    int currentPanel() const { return currentPanel_; }
    // The record number a panel shows; kNoRow when empty, and for the row
    // being added, which has no number yet.
    std::uint32_t panelRecord(int panel) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    struct Panel;
    void buildPanel(int index);
    static int arrangePanel(Panel& panel); // the width the panel needs
    void showRow(int panel, const LoggedFlight& row, bool keepModified);
    void clearPanel(int panel);
    void setCurrentPanel(int panel);
    void syncScrollBar();
    void onScrollAction(int action);
    void moveTo(std::uint32_t recordNumber);
    std::uint32_t anchorRecord() const;
    // The panel of a panel's frame or edit, -1 for none; `field` tells the
    // edit's field, none for the frame.
    int panelOf(const QObject* object, std::optional<LogField>* field) const;
    // Every move the user starts from a Qt event or signal goes through
    // here: an error never travels back into the toolkit, and a field that
    // refuses its text says so in the general error box.
    void userMove(const std::function<void()>& move);
    void reportRefusal(const QString& message);
    // A pasted text as the field can keep it (the binding's storable), and
    // the cursor moved with it; the user is told of replaced characters.
    void makeStorable(LogField field, QString& text, int& cursor);
    QLineEdit* firstModifiedEdit() const;

    FlightLog* table_ = nullptr;
    std::array<FieldTextBinding, kLogFieldCount> bindings_;
    std::function<bool(const QString&)> studentHidden_;
    std::array<std::unique_ptr<Panel>, kPanelCount> panels_;
    std::array<std::uint32_t, kPanelCount> shown_ {};
    QScrollBar* scrollBar_ = nullptr;
    int currentPanel_ = -1;
    std::uint32_t topRecord_ = kNoRow;
    bool syncing_ = false;
    bool refusalPending_ = false;
};

} // namespace cvlog
