// The File menu's exports and the print preview, driven through the window
// over a seeded table: what the grid shows is what comes out.

#include "display_test_support.h"

#include "app/log_report.h"
#include "app/report_form.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QTest>
#include <QTimer>

namespace cvlog::test
{
namespace
{

class OutputWindowTest : public DisplayTest
{
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        seed({ { QDate(2026, 3, 1), 90, 0, 1200 }, { QDate(2026, 3, 2), 65, 1 }, { QDate(2026, 3, 3), 5 },
            { QDate(2026, 3, 9), 60 } });
        form = start();
        form->setForms(nullptr, &form3, nullptr, nullptr);
        messages.fileAnswerer = [this](const FileDialogRequest& request) {
            dialogs.push_back(request);
            return answer;
        };
    }

    static QString pdfText(const QString& path)
    {
        QProcess pdftotext;
        pdftotext.start(
            QStringLiteral("pdftotext"), { QStringLiteral("-layout"), path, QStringLiteral("-") });
        pdftotext.waitForFinished(30000);
        return QString::fromUtf8(pdftotext.readAllStandardOutput());
    }

    TForm3 form3;
    std::unique_ptr<TForm1> form;
    std::vector<FileDialogRequest> dialogs;
    QString answer;
};

TEST_F(OutputWindowTest, ExportsWriteTheRowsTheGridShowsAndSayWhyOneFails)
{
    form->DateFrom->setDate(QDate(2026, 3, 2));
    form->DateTo->setDate(QDate(2026, 3, 3));
    form->CheckBox1->click();
    answer = file("flights.txt");
    form->Saveascommadelimitedtextfile1->trigger();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, QStringLiteral("Enter name of file to save to"));
    EXPECT_EQ(dialogs[0].filter, QStringLiteral("text files (*.txt)"));
    EXPECT_EQ(dialogs[0].defaultSuffix, QStringLiteral("txt"));
    const QLocale locale = QLocale::system();
    auto date = [&](int day) { return locale.toString(QDate(2026, 3, day), QLocale::ShortFormat).toUtf8(); };
    EXPECT_EQ(ReadAll(answer), date(2) + ",,1:05,0,,1,0:00,,\r\n" + date(3) + ",,0:05,0,,,0:00,,\r\n");
    EXPECT_EQ(form->Dbf1.integer(kFlightTime), 5); // on the last row it wrote

    form->CheckBox1->click();
    form->SaveasTextfile1->trigger();
    EXPECT_EQ(ReadAll(answer).count("\r\n"), 4);
    EXPECT_TRUE(ReadAll(answer).startsWith(date(1) + " ")) << ReadAll(answer).toStdString();
    EXPECT_TRUE(messages.shown.empty());

    answer = file("no such folder") + QStringLiteral("/flights.txt");
    form->SaveasTextfile1->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("File not found."));
    EXPECT_FALSE(form->Dbf1.controlsDisabled());

    answer.clear(); // cancelled: nothing written, nothing said
    form->SaveasTextfile1->trigger();
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(OutputWindowTest, ThePreviewPrintsTheGridsRowsAndEndsWithTheWindow)
{
    // A flight time typed into the grid and not yet left is in the report.
    QLineEdit* flightTime = currentEdit(*form, kFlightTime);
    flightTime->selectAll();
    QTest::keyClicks(flightTime, QStringLiteral("2")); // whole hours
    form->bHourfractionsaredecimals1->trigger();

    QPrintPreviewDialog* seen = nullptr;
    int pages = 0;
    bool previewWhileOpen = false;
    QTimer::singleShot(0, [&] {
        seen = form3.LogPrint.previewDialog();
        ASSERT_NE(seen, nullptr);
        previewWhileOpen = form3.Dbf1.isOpen();
        if (auto* widget = seen->findChild<QPrintPreviewWidget*>())
            pages = widget->pageCount();
        EXPECT_EQ(seen->windowTitle(), QStringLiteral("Corvane Log"));
        EXPECT_TRUE(seen->isMaximized());
        EXPECT_FALSE(seen->isModal());
        answer = file("report.pdf");
        form3.LogPrint.savePdfAction()->trigger();
        form->close(); // the shutdown closes the preview
    });
    form->Print1->trigger();

    EXPECT_TRUE(previewWhileOpen);
    EXPECT_EQ(pages, 1);
    EXPECT_FALSE(form3.Dbf1.isOpen());
    EXPECT_FALSE(form3.LogPrint.isPreviewing());
    EXPECT_FALSE(form->Dbf1.isOpen()); // the shutdown ran
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, QStringLiteral("Save report as PDF"));
    EXPECT_EQ(dialogs[0].filter, QStringLiteral("PDF files (*.pdf)"));
    EXPECT_EQ(dialogs[0].defaultSuffix, QStringLiteral("pdf"));

    const QString text = pdfText(file("report.pdf"));
    EXPECT_TRUE(text.contains(QStringLiteral("2.00"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Total time for period +4\\.16"))))
        << text.toStdString();
    EXPECT_TRUE(messages.shown.empty());
}

} // namespace
} // namespace cvlog::test
