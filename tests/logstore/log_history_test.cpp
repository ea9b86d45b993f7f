// Undo and redo of the log's steps, each read back from the file by a view of
// its own, and a step cut short by a failing disk.
#include "table_test_support.h"

#include "logstore/file_faults.h"
#include "logstore/log_history.h"

#include <QDate>

#include <memory>
#include <optional>

namespace cvlog::testing
{
namespace
{

enum class Do { Delete, Edit, EditLeftOpen, Insert, Download, Undo, Redo, EditElsewhere, DeleteElsewhere };

struct Step {
    Do what = Do::Undo;
    std::uint32_t row = 0; // the row deleted or edited
    int minutes = 0; // the new flight time; the number of flights downloaded
    std::vector<int> live = {}; // the live rows' flight times in the file afterwards
    std::optional<QString> undoText = std::nullopt; // unchecked when unset
    std::optional<QString> redoText = std::nullopt;
    QString refusal = {}; // what undo or redo answers
};

struct Case {
    const char* name = "";
    std::vector<Step> steps = {};
};

const QString kFlight2 = QStringLiteral("flight 02/04/2026 12:00");
const QString kNothing; // no step to undo or redo

const Case kCases[] = {
    { "DeleteIsRecalledAndDeletedAgain",
        { { Do::Delete, 2, 0, { 10, 30 }, "Undo delete of " + kFlight2 },
            { Do::Undo, 0, 0, { 10, 20, 30 }, kNothing, "Redo delete of " + kFlight2 },
            { Do::Redo, 0, 0, { 10, 30 }, "Undo delete of " + kFlight2 } } },
    { "EditWritesTheOldValuesBack",
        { { Do::Edit, 2, 25, { 10, 25, 30 }, "Undo edit of " + kFlight2 },
            { Do::Undo, 0, 0, { 10, 20, 30 }, kNothing, "Redo edit of " + kFlight2 },
            { Do::Redo, 0, 0, { 10, 25, 30 }, "Undo edit of " + kFlight2 } } },
    { "InsertedRowIsDeletedAndRecalled",
        { { Do::Insert, 0, 40, { 10, 20, 30, 40 }, "Undo insert of flight 09/04/2026 12:00" },
            { Do::Undo, 0, 0, { 10, 20, 30 }, kNothing, "Redo insert of flight 09/04/2026 12:00" },
            { Do::Redo, 0, 0, { 10, 20, 30, 40 }, "Undo insert of flight 09/04/2026 12:00" } } },
    { "DownloadIsOneStep",
        { { Do::Download, 0, 5, { 10, 20, 30, 1, 2, 3, 4, 5 }, "Undo download of 5 flights" },
            { Do::Undo, 0, 0, { 10, 20, 30 }, kNothing, "Redo download of 5 flights" },
            { Do::Redo, 0, 0, { 10, 20, 30, 1, 2, 3, 4, 5 }, "Undo download of 5 flights" } } },
    { "StepsAreUndoneLastFirstAndRedoneInOrder",
        { { Do::Edit, 1, 15, { 15, 20, 30 } }, { Do::Delete, 2, 0, { 15, 30 } },
            { Do::Download, 0, 1, { 15, 30, 1 }, "Undo download of 1 flight" },
            { Do::Undo, 0, 0, { 15, 30 }, "Undo delete of " + kFlight2, "Redo download of 1 flight" },
            { Do::Undo, 0, 0, { 15, 20, 30 } }, { Do::Undo, 0, 0, { 10, 20, 30 } },
            { Do::Redo, 0, 0, { 15, 20, 30 } }, { Do::Redo, 0, 0, { 15, 30 } },
            { Do::Redo, 0, 0, { 15, 30, 1 }, "Undo download of 1 flight" } } },
    { "UnchangedPostMakesNoStep", { { Do::Edit, 1, 10, { 10, 20, 30 }, kNothing } } },
    { "NewStepDropsWhatWasUndone",
        { { Do::Delete, 1, 0, { 20, 30 } }, { Do::Undo, 0, 0, { 10, 20, 30 } },
            { Do::Edit, 2, 21, { 10, 21, 30 }, "Undo edit of " + kFlight2, kNothing } } },
    { "RowEditedSinceRefusesUndo",
        { { Do::Edit, 2, 25, { 10, 25, 30 } }, { Do::EditElsewhere, 2, 27, { 10, 27, 30 } },
            { Do::Undo, 0, 0, { 10, 27, 30 }, "Undo edit of " + kFlight2, {},
                "Cannot undo the edit of " + kFlight2 + ": " + kFlight2
                    + " was changed since. Nothing was changed." } } },
    { "RowDeletedSinceRefusesUndoOfTheDownload",
        { { Do::Download, 0, 2, { 10, 20, 30, 1, 2 } }, { Do::DeleteElsewhere, 5, 0, { 10, 20, 30, 1 } },
            { Do::Undo, 0, 0, { 10, 20, 30, 1 }, "Undo download of 2 flights", {},
                "Cannot undo the download of 2 flights: flight 02/05/2026 12:00 was deleted since. "
                "Nothing was changed." } } },
    { "RowDeletedSinceRefusesRedo",
        { { Do::Delete, 2, 0, { 10, 30 } }, { Do::Undo, 0, 0, { 10, 20, 30 } },
            { Do::DeleteElsewhere, 2, 0, { 10, 30 } },
            { Do::Redo, 0, 0, { 10, 30 }, kNothing, "Redo delete of " + kFlight2,
                "Cannot redo the delete of " + kFlight2 + ": " + kFlight2
                    + " was deleted since. Nothing was changed." } } },
    { "EditLeftOpenWhenADownloadEndsIsAStepOfItsOwn",
        { { Do::EditLeftOpen, 2, 25, { 10, 20, 30 } },
            { Do::Download, 0, 1, { 10, 25, 30, 1 }, "Undo download of 1 flight" },
            { Do::Undo, 0, 0, { 10, 25, 30 }, "Undo edit of " + kFlight2 },
            { Do::Undo, 0, 0, { 10, 20, 30 }, kNothing } } },
};

QString nameOf(const FlightLog& log, const DbfRecord& row)
{
    const LoggedFlight flight = log.flight(row);
    return QStringLiteral("flight %1 %2")
        .arg(flight.date(kTakeoffDate).toString(QStringLiteral("dd/MM/yyyy")), flight.text(kTakeoffTime));
}

class LogHistoryTest : public TableTest, public ::testing::WithParamInterface<Case>
{
protected:
    void SetUp() override
    {
        TableTest::SetUp();
        createLog(file());
        setUpMainView(t, file());
        t.open();
        for (int day = 1; day <= 3; ++day)
            appendFlight(t, QDate(2026, 4, day), QStringLiteral("12:00"), day * 10);
        history = std::make_unique<LogHistory>(t, [this](const DbfRecord& row) { return nameOf(t, row); });
    }

    // The live rows' flight times, as a view of its own reads the file.
    std::vector<int> liveInFile()
    {
        t.releaseWriteLock();
        FlightLog reader;
        setUpMainView(reader, file());
        reader.open(DbfTable::Access::ReadOnly);
        return visibleMinutes(reader);
    }

    // A change the history is not told of, by another program: the view's
    // own reading of the file is not refreshed.
    void changeElsewhere(const Step& step)
    {
        t.releaseWriteLock();
        {
            FlightLog other;
            setUpMainView(other, file());
            other.open();
            other.moveToRecord(step.row);
            if (step.what == Do::DeleteElsewhere) {
                other.remove();
            } else {
                other.edit();
                other.setInteger(kFlightTime, step.minutes);
                other.post();
            }
        }
    }

    QString run(const Step& step)
    {
        switch (step.what) {
        case Do::Delete:
            t.moveToRecord(step.row);
            t.remove();
            return {};
        case Do::Edit:
        case Do::EditLeftOpen:
            t.moveToRecord(step.row);
            t.edit();
            t.setInteger(kFlightTime, step.minutes);
            if (step.what == Do::Edit)
                t.post();
            return {};
        case Do::Insert:
            t.insert();
            t.setDate(kTakeoffDate, QDate(2026, 4, 9));
            t.setText(kTakeoffTime, QStringLiteral("12:00"));
            t.setInteger(kFlightTime, step.minutes);
            t.post();
            return {};
        case Do::Download: {
            std::vector<std::uint32_t> added;
            AppendBatch batch(t);
            for (int i = 1; i <= step.minutes; ++i) {
                appendFlight(t, QDate(2026, 5, i), QStringLiteral("12:00"), i);
                added.push_back(t.recordNumber());
            }
            batch.commit();
            history->recordAppends(QStringLiteral("download"), added);
            return {};
        }
        case Do::Undo:
            return history->undo();
        case Do::Redo:
            return history->redo();
        case Do::EditElsewhere:
        case Do::DeleteElsewhere:
            changeElsewhere(step);
            return {};
        }
        return {};
    }

    FlightLog t;
    std::unique_ptr<LogHistory> history;
};

TEST_P(LogHistoryTest, EachStepLeavesAValidLog)
{
    int index = 0;
    for (const Step& step : GetParam().steps) {
        SCOPED_TRACE(::testing::Message() << "step " << ++index);
        EXPECT_EQ(run(step), step.refusal);
        EXPECT_EQ(liveInFile(), step.live);
        if (step.undoText) {
            EXPECT_EQ(history->undoText(), *step.undoText);
            EXPECT_EQ(history->canUndo(), !step.undoText->isEmpty());
        }
        if (step.redoText) {
            EXPECT_EQ(history->redoText(), *step.redoText);
            EXPECT_EQ(history->canRedo(), !step.redoText->isEmpty());
        }
    }
    history->clear();
    EXPECT_FALSE(history->canUndo());
    EXPECT_FALSE(history->canRedo());
}

INSTANTIATE_TEST_SUITE_P(Steps, LogHistoryTest, ::testing::ValuesIn(kCases),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A disk that fails in the middle of a step's rows, and then once more while
// they are put back, leaves the note: the next opening makes the step whole
// or none, never half of it. A note found beside another file (the log was
// replaced since) leaves that file alone.
TEST_F(TableTest, StepCutShortIsTakenBackAtTheNextOpening)
{
    for (const bool replaced : { false, true }) {
        SCOPED_TRACE(replaced ? "log replaced since" : "same log");
        createLog(file());
        auto t = std::make_unique<FlightLog>();
        setUpMainView(*t, file());
        t->open();
        for (int day = 1; day <= 4; ++day)
            appendFlight(*t, QDate(2026, 4, day), QStringLiteral("12:00"), day * 10);
        auto history
            = std::make_unique<LogHistory>(*t, [&t](const DbfRecord& row) { return nameOf(*t, row); });
        history->recordAppends(QStringLiteral("import"), { 1, 3 });
        EXPECT_EQ(history->undoText(), QStringLiteral("Undo import of 2 flights"));
        const std::string before = readBytes(file());

        int writes = 0;
        const std::filesystem::path table = file();
        setFileFaultHook([&](FileStep step, const std::filesystem::path& path) {
            return step == FileStep::Write && path == table && ++writes > 1 ? 5 /* EIO */ : 0;
        });
        EXPECT_THROW(history->undo(), DbfError);
        setFileFaultHook({});
        EXPECT_NE(readBytes(file()), before); // row 1 was written, row 3 not
        EXPECT_TRUE(std::filesystem::exists(rewriteNoteFor(file())));
        EXPECT_TRUE(history->canUndo());
        history.reset();
        t.reset();

        std::vector<int> expected { 10, 20, 30, 40 };
        if (replaced) {
            const std::filesystem::path note = rewriteNoteFor(file());
            std::filesystem::rename(note, file("note"));
            std::filesystem::remove(file());
            createLog(file());
            FlightLog other;
            setUpMainView(other, file());
            other.open();
            for (int day = 1; day <= 3; ++day)
                appendFlight(other, QDate(2026, 5, day), QStringLiteral("8:00"), day);
            std::filesystem::rename(file("note"), note);
            expected = { 1, 2, 3 };
        }
        FlightLog reopened;
        setUpMainView(reopened, file());
        reopened.open();
        EXPECT_EQ(visibleMinutes(reopened), expected);
        EXPECT_FALSE(std::filesystem::exists(rewriteNoteFor(file())));
        reopened.close();
        std::filesystem::remove(file());
    }
}

} // namespace
} // namespace cvlog::testing
