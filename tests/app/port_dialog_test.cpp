// The port selection dialog over real pseudo-terminals: COM1 and COM5 exist,
// COM6 names a device file that does not.

#include "display_test_support.h"

#include "app/port_dialog.h"
#include "link/comm.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <functional>

namespace cvlog::test
{
namespace
{

const QString kNotAvailable
    = QStringLiteral("The selected port COM%1 is not available, please choose another if "
                     "possible or free this port if it is in use by another application.");

class PortDialogTest : public DisplayTest
{
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        missing = file("no-such-tty");
        portLines
            = "COM5=" + QByteArray::fromStdString(com5.slavePath()) + "\nCOM6=" + missing.toUtf8() + "\n";
    }

    std::unique_ptr<TForm1> startOn(int port)
    {
        writeSettings(port);
        auto form = start();
        form->setForms(nullptr, nullptr, &form4, nullptr);
        return form;
    }

    // Runs inside once the dialog is up (however it was opened), then closes
    // it with Cancel. False when the dialog never came up.
    bool whileShown(const std::function<void()>& trigger, const std::function<void()>& inside)
    {
        bool ran = false;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (ran || !form4.isVisible())
                return;
            ran = true;
            inside();
            form4.BitBtn2->click();
        });
        poll.start();
        trigger();
        waitFor([&] { return ran && !form4.isVisible(); });
        return ran;
    }

    bool openDialog(
        TForm1& form, const std::function<void()>& inside = [] {})
    {
        return whileShown([&] { form.Communicationsport1->trigger(); }, inside);
    }

    std::vector<QString> plainTexts() const
    {
        std::vector<QString> texts;
        for (const MessageRequest& m : messages.shown)
            texts.push_back(m.text);
        return texts;
    }

    PtyPair com5;
    QString missing;
    TForm4 form4;
};

TEST_F(PortDialogTest, DialogHasItsDesignedCaptionButtonsAndOrder)
{
    EXPECT_EQ(form4.windowTitle(), QStringLiteral("Communications port selection"));
    EXPECT_GE(form4.width(), 266);
    EXPECT_GE(form4.height(), 122);
    EXPECT_EQ(form4.minimumSize(), form4.maximumSize()); // a fixed border

    std::vector<QWidget*> chain;
    for (int n = 1; n <= TForm4::kPortCount; ++n) {
        QRadioButton* b = form4.RadioButton(n);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->objectName(), QStringLiteral("RadioButton%1").arg(n));
        EXPECT_EQ(b->text(), QStringLiteral("COM%1").arg(n));
        EXPECT_EQ(b->property("portNumber").toInt(), n);
        const int row = (n - 1) % 4;
        EXPECT_EQ(b->y(), 16 + 24 * row) << n;
        EXPECT_EQ(b->x(), n <= 4 ? 16 : std::max(96, form4.RadioButton(1)->geometry().right() + 1)) << n;
        EXPECT_GE(b->width(), std::max(60, b->sizeHint().width())) << n; // no caption cut
        EXPECT_GE(b->height(), 17);
        chain.push_back(b);
    }
    EXPECT_EQ(form4.BitBtn1->text(), QStringLiteral("OK"));
    EXPECT_EQ(form4.BitBtn1->objectName(), QStringLiteral("BitBtn1"));
    EXPECT_TRUE(form4.BitBtn1->isDefault());
    EXPECT_EQ(form4.BitBtn2->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(form4.BitBtn2->objectName(), QStringLiteral("BitBtn2"));
    EXPECT_EQ(form4.BitBtn2->y(), 48);
    EXPECT_EQ(form4.BitBtn1->y(), 80);
    EXPECT_GE(form4.BitBtn1->x(), std::max(176, form4.RadioButton(5)->geometry().right() + 1));
    EXPECT_GE(form4.BitBtn1->size().width(), 75);
    EXPECT_GE(form4.BitBtn1->size().height(), 25);
    EXPECT_TRUE(form4.rect().contains(form4.BitBtn1->geometry()));
    chain.push_back(form4.BitBtn1);
    chain.push_back(form4.BitBtn2);
    for (std::size_t i = 0; i + 1 < chain.size(); ++i)
        EXPECT_EQ(chain[i]->nextInFocusChain(), chain[i + 1]) << chain[i]->objectName().toStdString();

    // One group: checking one button unchecks the others.
    form4.RadioButton(3)->setChecked(true);
    form4.RadioButton(7)->setChecked(true);
    EXPECT_FALSE(form4.RadioButton(3)->isChecked());

    // Escape answers Cancel, Enter answers OK.
    QTimer::singleShot(0, &form4, [this] { QTest::keyClick(&form4, Qt::Key_Escape); });
    EXPECT_EQ(form4.exec(), QDialog::Rejected);
    QTimer::singleShot(0, &form4, [this] { QTest::keyClick(&form4, Qt::Key_Return); });
    EXPECT_EQ(form4.exec(), QDialog::Accepted);
}

TEST_F(PortDialogTest, TooltipsNameTheDeviceFileOfEachPort)
{
    auto form = startOn(1);
    ASSERT_TRUE(openDialog(*form));
    EXPECT_EQ(form4.RadioButton(1)->toolTip(), QString::fromStdString(com1.slavePath()));
    EXPECT_EQ(form4.RadioButton(5)->toolTip(), QString::fromStdString(com5.slavePath()));
    EXPECT_EQ(form4.RadioButton(6)->toolTip(), missing);
    EXPECT_EQ(form4.RadioButton(2)->toolTip(), QStringLiteral("/dev/ttyS1"));
    EXPECT_EQ(form4.RadioButton(8)->toolTip(), QStringLiteral("/dev/ttyS7"));
}

TEST_F(PortDialogTest, FirstOpeningReopensTheStoredPortOnceAndLaterOnesLeaveIt)
{
    auto form = startOn(5);
    form->show();
    ASSERT_TRUE(form->Comm1.isOpen());
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, attempting COM5"));

    form->link.linkUp = true; // a device is talking on COM5
    ASSERT_TRUE(openDialog(*form, [&] { EXPECT_TRUE(form4.RadioButton(5)->isChecked()); }));
    EXPECT_FALSE(form->link.linkUp); // the link starts over
    EXPECT_TRUE(form->link.portReady);
    EXPECT_TRUE(form->Comm1.isOpen());

    form->link.linkUp = true;
    ASSERT_TRUE(openDialog(*form));
    EXPECT_TRUE(form->link.linkUp);
    EXPECT_TRUE(form->Comm1.isOpen());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PortDialogTest, ClickingTheCheckedButtonDoesNothing)
{
    auto form = startOn(1);
    form->show();
    ASSERT_TRUE(openDialog(*form, [&] {
        form->link.linkUp = true;
        QTest::mouseClick(form4.RadioButton(1), Qt::LeftButton);
        EXPECT_TRUE(form4.RadioButton(1)->isChecked());
        EXPECT_TRUE(form->link.linkUp);
        EXPECT_TRUE(form->link.portReady);
        EXPECT_TRUE(form->Comm1.isOpen());
    }));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PortDialogTest, AnExistingPortIsTakenAtOnceAndCancelKeepsIt)
{
    auto form = startOn(1);
    form->show();
    ASSERT_TRUE(openDialog(*form, [&] {
        form->link.linkUp = true;
        QTest::mouseClick(form4.RadioButton(5), Qt::LeftButton);
        EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, attempting COM5"));
        EXPECT_EQ(form->link.portNumber, 5);
        EXPECT_FALSE(form->link.linkUp);
    }));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(form->link.portNumber, 5);
    EXPECT_TRUE(form->link.portReady);
    EXPECT_EQ(form->Comm1DeviceName(), QStringLiteral("COM5"));
    EXPECT_EQ(form->Comm1.devicePath(), std::filesystem::path(com5.slavePath()));
    EXPECT_TRUE(form->Comm1.isOpen());
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, attempting COM5"));

    ASSERT_TRUE(form->close());
    EXPECT_TRUE(ReadAll(file("CVLog.ini")).contains("PORT=5\n"));
}

TEST_F(PortDialogTest, AMissingPortIsReportedWithItsDeviceAndTheStatusKeepsItsText)
{
    auto form = startOn(1);
    form->show();
    const QString expected = kNotAvailable.arg(6) + QStringLiteral("\n") + missing
        + QStringLiteral(": No such file or directory");
    ASSERT_TRUE(openDialog(*form, [&] {
        QTest::mouseClick(form4.RadioButton(6), Qt::LeftButton);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].kind, MessageKind::Plain);
        EXPECT_EQ(messages.shown[0].caption, QString::fromLatin1(kApplicationTitle));
        EXPECT_EQ(messages.shown[0].text, expected);
        EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, attempting COM1"));
        EXPECT_EQ(form->link.portNumber, 1);
        EXPECT_FALSE(form->link.portReady);
        EXPECT_FALSE(form->Comm1.isOpen());
        EXPECT_TRUE(form4.RadioButton(6)->isChecked());

        // The same button again does nothing; another has to be chosen.
        QTest::mouseClick(form4.RadioButton(6), Qt::LeftButton);
        EXPECT_EQ(messages.shown.size(), 1u);
    }));
    EXPECT_FALSE(form->link.portReady);

    // The next opening goes back to the port number kept, and opens it.
    ASSERT_TRUE(openDialog(*form, [&] { EXPECT_TRUE(form4.RadioButton(1)->isChecked()); }));
    EXPECT_TRUE(form->link.portReady);
    EXPECT_TRUE(form->Comm1.isOpen());
    EXPECT_EQ(form->Comm1DeviceName(), QStringLiteral("COM1"));
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(PortDialogTest, AStoredPortThatCannotBeOpenedOpensTheDialogAtTheFirstShowing)
{
    auto form = startOn(6);
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, current port not available"));
    const bool shown = whileShown([&] { form->show(); },
        [&] {
            // The stored port was tried once more, and reported, before the dialog came up.
            ASSERT_EQ(plainTexts().size(), 1u);
            EXPECT_TRUE(plainTexts()[0].startsWith(kNotAvailable.arg(6)));
            EXPECT_FALSE(form->link.portReady);
            EXPECT_EQ(
                form->StatusPanel1->text(), QStringLiteral("Not Connected, current port not available"));
            QTest::mouseClick(form4.RadioButton(5), Qt::LeftButton);
            EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, attempting COM5"));
        });
    ASSERT_TRUE(shown);
    EXPECT_TRUE(form->link.portReady);
    EXPECT_EQ(form->link.portNumber, 5);
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(PortDialogTest, WithTheUsbBridgeInUseTheSerialPortStillSwitchesAndTheUsbTextStays)
{
    auto form = startOn(1);
    form->link.usbActive = true; // as if the probe had found the bridge
    form->show();
    EXPECT_FALSE(form->Comm1.isOpen());
    ASSERT_TRUE(openDialog(*form, [&] { QTest::mouseClick(form4.RadioButton(5), Qt::LeftButton); }));
    EXPECT_TRUE(form->Comm1.isOpen());
    EXPECT_EQ(form->link.portNumber, 5);
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, attempting USB Tavolink IF"));
}

TEST_F(PortDialogTest, UnattendedTheDialogClosesItself)
{
    auto form = startOn(1);
    form->show();
    ScriptedAnswers unattended(ScriptedAnswers::Boxes::ShownAndClosed);
    const AnswersInPlace inPlace(unattended);
    // A safety net only: the dialog is expected to be gone before it fires.
    bool rescued = false;
    QTimer rescue;
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, [&] {
        rescued = form4.isVisible();
        form4.reject();
    });
    rescue.start(3000);
    form->Communicationsport1->trigger();
    EXPECT_FALSE(rescued);
    EXPECT_FALSE(form4.isVisible());
    EXPECT_TRUE(form->link.portReady);
}

} // namespace
} // namespace cvlog::test
