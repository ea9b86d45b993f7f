// The import of flights through its menu item and dialog, on the real window.

#include "app_test_support.h"

#include "app/import_dialog.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <sys/stat.h>

namespace cvlog::test
{
namespace
{

class ImportDialogTest : public WindowTest
{
protected:
    // Opens the dialog on a file through the menu item, read to its end.
    ImportDialog* openImport(TForm1& form, const QByteArray& csv)
    {
        // The dialog of an earlier import goes once it closes.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        WriteAll(file("flights.csv"), csv);
        messages.fileAnswers.push_back(file("flights.csv"));
        form.ImportFlights1->trigger();
        auto* dialog = form.findChild<ImportDialog*>();
        if (dialog)
            dialog->plan();
        return dialog;
    }

    static QString cell(const ImportDialog& dialog, int row, LogField field)
    {
        const QTableWidgetItem* item = dialog.Preview->item(row, static_cast<int>(field) + 1);
        return item ? item->text() : QString();
    }

    static QComboBox* column(const ImportDialog& dialog, LogField field)
    {
        return dialog.columnBoxes[static_cast<std::size_t>(field)];
    }
};

const QByteArray kSpreadsheet = "Date;Start;Duration (h);Height;Remarks\r\n"
                                "03/04/2026;9:00;1,5;1000;\"first; with a semicolon\"\r\n"
                                "04/04/2026;10:00;0,25;;second\r\n"
                                "05/04/2026;11:00;lots;;bad duration\r\n"
                                "03/04/2026;9:00;1,5;1000;first again\r\n";

TEST_F(ImportDialogTest, GuessesShowChangesFollowAndCancelStoresNothing)
{
    auto form = makeWindow();
    form->show();
    const std::uint32_t before = form->Dbf1.recordCount();
    ImportDialog* dialog = openImport(*form, kSpreadsheet);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Import flights"));
    EXPECT_TRUE(dialog->ImportButton->isDefault());
    EXPECT_EQ(column(*dialog, kTakeoffDate)->currentText(), QStringLiteral("Date"));
    EXPECT_EQ(column(*dialog, kTakeoffTime)->currentText(), QStringLiteral("Start"));
    EXPECT_EQ(column(*dialog, kFlightTime)->currentText(), QStringLiteral("Duration (h)"));
    EXPECT_EQ(column(*dialog, kMaxAltitude)->currentText(), QStringLiteral("Height"));
    EXPECT_EQ(column(*dialog, kComment)->currentText(), QStringLiteral("Remarks"));
    EXPECT_EQ(column(*dialog, kHobbs)->currentText(), QStringLiteral("(none)"));
    EXPECT_EQ(dialog->FlightTimeKindBox->currentIndex(), static_cast<int>(DurationKind::DecimalHours));

    // Shown as the grid shows them: minutes for hour fractions, feet.
    EXPECT_EQ(cell(*dialog, 0, kFlightTime), QStringLiteral("1:30"));
    EXPECT_EQ(cell(*dialog, 0, kMaxAltitude), QStringLiteral("1000"));
    EXPECT_EQ(cell(*dialog, 0, kComment), QStringLiteral("first; with a semicolon"));
    EXPECT_EQ(dialog->BadRows->count(), 1);
    EXPECT_EQ(dialog->BadRows->item(0)->text(),
        QStringLiteral("Line 4: 'lots' is not a valid duration for field 'FLIGHTTIME'"));
    EXPECT_EQ(dialog->Summary->text(),
        QStringLiteral(
            "2 flights to import; 0 already in the log; 1 twice in the file; 1 rows cannot be read."));

    // The altitudes in metres, the comment taken from no column.
    dialog->UnitsBox->setCurrentIndex(static_cast<int>(UnitMode::Metric));
    column(*dialog, kComment)->setCurrentIndex(0);
    EXPECT_EQ(cell(*dialog, 0, kMaxAltitude), QStringLiteral("3280"));
    EXPECT_EQ(cell(*dialog, 0, kComment), QString());
    dialog->plan();
    EXPECT_EQ(dialog->plan().flights.front().maxAltitude, 3280);

    QTest::mouseClick(dialog->CancelButton, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(form->findChild<ImportDialog*>(), nullptr);
    EXPECT_EQ(form->Dbf1.recordCount(), before);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ImportDialogTest, ImportStoresTheGoodRowsOnceAndSaysWhatItLeft)
{
    auto form = makeWindow();
    form->show();
    const std::uint32_t before = form->Dbf1.recordCount();
    // While a download holds flights it has not yet written, nothing is
    // imported: they would be stored twice.
    form->link.pendingCount = 1;
    ImportDialog* dialog = openImport(*form, kSpreadsheet);
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(dialog->ImportButton, Qt::LeftButton);
    EXPECT_EQ(form->Dbf1.recordCount(), before);
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_EQ(messages.shown.back().text,
        QStringLiteral("Flights are being downloaded. Import the file when the download has ended."));
    messages.shown.clear();
    form->link.pendingCount = 0;

    dialog = openImport(*form, kSpreadsheet);
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(dialog->ImportButton, Qt::LeftButton);
    ASSERT_EQ(form->Dbf1.recordCount(), before + 2);
    const LoggedFlight last = form->Dbf1.flight(before + 2);
    EXPECT_EQ(last.date(kTakeoffDate), QDate(2026, 4, 4));
    EXPECT_EQ(last.integer(kFlightTime), 15);
    EXPECT_TRUE(last.isNull(kMaxAltitude));
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_EQ(messages.shown.back().text,
        QStringLiteral("Imported 2 flights; 1 already in the log; 1 rows could not be read."));

    // The same file again: every flight is in the log now.
    dialog = openImport(*form, kSpreadsheet);
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(dialog->ImportButton, Qt::LeftButton);
    EXPECT_EQ(form->Dbf1.recordCount(), before + 2);
    EXPECT_EQ(messages.shown.back().text,
        QStringLiteral("Imported 0 flights; 3 already in the log; 1 rows could not be read."));
}

TEST_F(ImportDialogTest, APipeADeviceOrAFolderNamedAsTheFileIsRefusedAtOnce)
{
    auto form = makeWindow();
    form->show();
    ASSERT_EQ(::mkfifo(file("pipe.csv").toLocal8Bit().constData(), 0600), 0);
    // Read, a pipe without a writer waits for ever and a device never ends.
    for (const QString& path : { file("pipe.csv"), QStringLiteral("/dev/zero"), dir.path() }) {
        messages.shown.clear();
        messages.fileAnswers.push_back(path);
        form->ImportFlights1->trigger();
        EXPECT_EQ(form->findChild<ImportDialog*>(), nullptr) << path.toStdString();
        ASSERT_EQ(messages.shown.size(), 1U) << path.toStdString();
        EXPECT_EQ(messages.shown.front().kind, MessageKind::Error);
        EXPECT_EQ(messages.shown.front().text,
            QStringLiteral("Cannot open file \"%1\". File access denied.").arg(path));
    }
}

} // namespace
TEST_F(ImportDialogTest, ALargeFileWhoseLinesEndInCarriageReturnsAloneIsReadWhole)
{
    auto form = makeWindow();
    form->show();
    const std::uint32_t before = form->Dbf1.recordCount();
    // More than the head the preview reads, so that the head is cut at a line's end.
    QByteArray csv = "Date,Departure,Duration,Serial\r";
    const int rows = 3000;
    for (int i = 0; i < rows; ++i)
        csv += QStringLiteral("2020-01-01,%1:%2,1:00,EA15\r")
                   .arg(i / 60)
                   .arg(i % 60, 2, 10, QChar(u'0'))
                   .toLatin1();
    ASSERT_GT(csv.size(), 64 * 1024);
    ImportDialog* dialog = openImport(*form, csv);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(column(*dialog, kTakeoffTime)->currentIndex(), 2);
    QTest::mouseClick(dialog->ImportButton, Qt::LeftButton);
    EXPECT_EQ(form->Dbf1.recordCount(), before + rows);
}

} // namespace cvlog::test
