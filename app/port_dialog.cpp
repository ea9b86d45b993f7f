#include "app/port_dialog.h"

#include "app/cvlog_application.h"
#include "link/comm.h"
#include "link/device_access.h"
#include "link/link_driver.h"
#include "settings/settings.h"

#include <QButtonGroup>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace cvlog
{

namespace
{

constexpr QSize kClientSize { 266, 122 };
constexpr QSize kRadioSize { 60, 17 };
constexpr QSize kButtonSize { 75, 25 };
constexpr int kFirstColumnLeft = 16;
constexpr int kSecondColumnLeft = 96;
constexpr int kButtonLeft = 176;
constexpr int kCancelTop = 48;
constexpr int kOkTop = 80;
constexpr int kPortsPerColumn = 4;
constexpr std::array<int, kPortsPerColumn> kRowTops { 16, 40, 64, 88 };
constexpr int kGap = 4; // between columns that grew in the desktop's font
constexpr int kMargin = 16;
constexpr const char* kPortProperty = "portNumber";

} // namespace

TForm4::TForm4(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowFlags(
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    for (int n = 1; n <= kPortCount; ++n) {
        auto* button = new QRadioButton(QStringLiteral("COM%1").arg(n), this);
        button->setObjectName(QStringLiteral("RadioButton%1").arg(n));
        button->setProperty(kPortProperty, n);
        group_->addButton(button, n);
        // Only a button that becomes checked switches; one already checked stays as it is.
        connect(button, &QRadioButton::toggled, this, Guarded([this, button](bool checked) {
            if (checked)
                RadioButton1Click(button);
        }));
        buttons_[n - 1] = button;
    }

    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    QWidget* previous = buttons_[0];
    for (QWidget* next : { static_cast<QWidget*>(buttons_[1]), static_cast<QWidget*>(buttons_[2]),
             static_cast<QWidget*>(buttons_[3]), static_cast<QWidget*>(buttons_[4]),
             static_cast<QWidget*>(buttons_[5]), static_cast<QWidget*>(buttons_[6]),
             static_cast<QWidget*>(buttons_[7]), static_cast<QWidget*>(BitBtn1),
             static_cast<QWidget*>(BitBtn2) }) {
        setTabOrder(previous, next);
        previous = next;
    }
    arrange();
    updateToolTips();
}

void TForm4::arrange()
{
    // The designed places hold for the designed font; a column moves right
    // only when the one before it had to grow to show its captions.
    auto columnWidth = [this](int first) {
        int width = kRadioSize.width();
        for (int i = first; i < first + kPortsPerColumn; ++i)
            width = std::max(width, buttons_[i]->sizeHint().width());
        return width;
    };
    int radioHeight = kRadioSize.height();
    for (QRadioButton* b : buttons_)
        radioHeight = std::max(radioHeight, b->sizeHint().height());

    const int firstWidth = columnWidth(0);
    const int secondLeft = std::max(kSecondColumnLeft, kFirstColumnLeft + firstWidth + kGap);
    const int secondWidth = columnWidth(kPortsPerColumn);
    const int buttonLeft = std::max(kButtonLeft, secondLeft + secondWidth + kGap);
    for (int i = 0; i < kPortsPerColumn; ++i) {
        buttons_[i]->setGeometry(kFirstColumnLeft, kRowTops[i], firstWidth, radioHeight);
        buttons_[i + kPortsPerColumn]->setGeometry(secondLeft, kRowTops[i], secondWidth, radioHeight);
    }
    const QSize buttonSize = kButtonSize.expandedTo(BitBtn1->sizeHint()).expandedTo(BitBtn2->sizeHint());
    BitBtn2->setGeometry(QRect(QPoint(buttonLeft, kCancelTop), buttonSize));
    BitBtn1->setGeometry(QRect(QPoint(buttonLeft, kOkTop), buttonSize));

    const int right = std::max(BitBtn1->geometry().right() + 1 + kMargin, kClientSize.width());
    const int bottom = std::max({ BitBtn1->geometry().bottom() + 1 + kMargin / 2,
        buttons_[kPortsPerColumn - 1]->geometry().bottom() + 1 + kMargin / 2, kClientSize.height() });
    setFixedSize(right, bottom);
}

void TForm4::setPortContext(PortSwitchContext context)
{
    context_ = std::move(context);
    updateToolTips();
}

void TForm4::updateToolTips()
{
    for (int n = 1; n <= kPortCount; ++n) {
        QString device;
        try {
            device = QString::fromStdString(portDevicePath(context_.settingsPath, n).string());
        } catch (const std::exception&) {
            // An unreadable settings file names no device; the button still works.
        }
        buttons_[n - 1]->setToolTip(device);
    }
}

QRadioButton* TForm4::RadioButton(int portNumber) const
{
    if (portNumber < 1 || portNumber > kPortCount)
        return nullptr;
    return buttons_[portNumber - 1];
}

void TForm4::SelectCurrentPort()
{
    if (!context_.link)
        return;
    // Found by its name, as the port number is kept in the settings as a number.
    auto* button = findChild<QRadioButton*>(QStringLiteral("RadioButton%1").arg(context_.link->portNumber));
    if (button)
        button->setChecked(true);
}

void TForm4::RadioButton1Click(QRadioButton* button)
{
    if (!button)
        return;
    // Runs inside the button's own signal: an error that is not the port's
    // goes to the general error handling here rather than through the toolkit.
    try {
        switchPort(button->property(kPortProperty).toInt());
    } catch (const std::exception& error) {
        ReportError(error);
    }
}

void TForm4::switchPort(int n)
{
    if (!context_.comm || !context_.driver)
        return;
    try {
        context_.driver->switchPort(*context_.comm, n);
    } catch (const SerialChannelError& error) {
        // No port is open now; the link sends nothing until one is.
        ShowPlainMessage(QStringLiteral("The selected port COM%1 is not available,"
                                        " please choose another if possible or free this port if it is in"
                                        " use by another application.\n%2")
                             .arg(n)
                             .arg(portFailureDetail(context_.comm->devicePath(), error)),
            this);
    }
}

} // namespace cvlog
