#include "link/link_driver.h"

#include "link/comm.h"

#include <QChar>

#include <algorithm>
#include <array>
#include <exception>

namespace cvlog
{

namespace
{

// Reply types.
constexpr std::uint8_t kRecordReply = 8; // also the redirect, by its length
constexpr std::uint8_t kIdentityReply = 9;
constexpr std::uint8_t kLogPositionReply = 13;

constexpr std::uint8_t kRedirectLength = 2;
// First payload byte of an identity or redirect reply that counts.
constexpr std::uint8_t kReplyMarker = 0x04;
// Second identity payload byte of the long form: its identity text length.
constexpr std::uint8_t kLongIdentityLength = 11;
constexpr std::uint8_t kShortIdentityLength = 4;
constexpr std::size_t kVersionRoom = 7;
constexpr std::size_t kSerialRoom = 4;

constexpr std::uint16_t kSlotSize = 16;
constexpr std::uint16_t kTypeBPositionOffset = 0xC0;
// Record reply payload position of the take-off day.
constexpr std::size_t kRecordDayOffset = 2;

constexpr std::uint16_t kLongFormWindowStart = 0xF300;
constexpr std::uint16_t kWindowStart = 0xF100;
constexpr std::uint16_t kLumenLrWindowStart = 0xF200;
constexpr std::uint32_t kWindowEnd = 0x10000;
constexpr std::uint32_t kTypeBWindowEnd = 0xF4C0;

const char kNotAKeyMessage[] = "Device connected is not a download key. Cannot initialize.";

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Copies a length-prefixed field of a reply. The length is cut to the room
// the reply gives the field, so a garbled length never shows bytes of an
// earlier reply, and the copy never passes the field's end.
template <std::size_t Capacity>
void storePrefixed(PrefixedText<Capacity>& field, const std::uint8_t* source, std::size_t room)
{
    static_assert(Capacity >= kSerialRoom);
    room = std::min(room, Capacity);
    field.length = static_cast<std::uint8_t>(std::min<std::size_t>(source[0], room));
    std::copy_n(source + 1, room, field.chars.begin());
}

class FeedingScope
{
public:
    explicit FeedingScope(bool& flag)
        : flag(flag)
    {
        flag = true;
    }
    ~FeedingScope() { flag = false; }
    FeedingScope(const FeedingScope&) = delete;
    FeedingScope& operator=(const FeedingScope&) = delete;

private:
    bool& flag;
};

} // namespace

LinkDriver::LinkDriver(LinkState& link, LinkHost& host, SerialPort& serial, UsbPort& usb, FlightStore& store)
    : import(link, store, host)
    , link(link)
    , host(host)
    , serial(serial)
    , usb(usb)
{
}

void LinkDriver::resetReceiver()
{
    link.freshLink = true;
    receiver.rxState = ReplyReceiver::kWaitStart;
}

void LinkDriver::portReopened()
{
    resetReceiver();
    link.pendingCount = 0;
    link.deviceAddress = kSearchAddress;
    link.linkUp = false;
    link.keyInitPending = false;
    link.portReady = true;
    showLinkStatus(0);
}

void LinkDriver::switchPort(SerialChannel& comm, int portNumber)
{
    link.portReady = false;
    comm.close();
    comm.setDeviceName(QStringLiteral("COM%1").arg(portNumber));
    comm.open();
    link.portReady = true;
    link.portNumber = static_cast<std::uint8_t>(portNumber);
    showLinkStatus(0);
    link.linkUp = false;
}

// ---- the tick --------------------------------------------------------------

void LinkDriver::tick()
{
    // A bridge's reply arrives some milliseconds after its command, so the
    // poll at the end of the tick that sent it finds nothing. Reading the
    // queue again before deciding what to ask keeps the decision on the
    // replies of the last tick: otherwise the log position request goes out
    // twice, the second answer restarts the download at the newest slot and
    // that flight, read again, ends the download as a known one.
    if (link.usbActive)
        pollUsb();
    if (!link.linkUp) {
        sendIdentityRequest();
    } else if (link.countDue) {
        if (link.keyInitPending)
            keyInitialization();
        else
            sendLogPositionRequest();
    } else if (!link.requestNext) {
        if (link.keyInitPending)
            keyInitialization();
        else
            sendIdentityRequest(); // keep-alive
    } else if (!link.keyInitPending) {
        recordRead();
    }
    // A record read that is due blocks a pending key initialization; the
    // tick then sends nothing and the link runs out, which clears it.
    countDown();
    if (link.usbActive)
        pollUsb();
}

void LinkDriver::sendCommand(std::uint8_t length, std::uint8_t address)
{
    if (!link.portReady)
        return;
    const std::size_t frameLength = frameCommand(txFrame, length, address);
    // Write results are not looked at: a lost frame shows as a missing reply.
    if (link.usbActive) {
        std::uint32_t written = 0;
        usb.write(link.usbHandle, txFrame.data(), static_cast<std::uint32_t>(frameLength), &written);
    } else {
        serial.write(txFrame.data(), frameLength);
    }
}

void LinkDriver::sendIdentityRequest()
{
    sendCommand(writeIdentityRequest(txFrame), link.deviceAddress);
}

void LinkDriver::sendLogPositionRequest()
{
    sendCommand(writeLogPositionRequest(txFrame), link.deviceAddress);
}

void LinkDriver::recordRead()
{
    if (link.readAddress < link.windowStart || (link.readAddress & (kSlotSize - 1)) != 0)
        link.readAddress = link.windowStart;
    const std::uint8_t length = writeRecordRead(txFrame, link.readAddress);
    // Devices other than type B answer a read past their log with a short
    // frame; marking the day empty first makes that end the download.
    if (!link.typeBMode)
        receiver.rxPayload[kRecordDayOffset] = FlightRecord::kEmptyDay;
    sendCommand(length, link.deviceAddress);
    host.showStatusPopup(QStringLiteral("Requesting ")
        + QString::number(link.readAddress, 16).toUpper().rightJustified(4, QLatin1Char('0')));

    // The log is read backwards, wrapping from the window's start to its end.
    link.readAddress = static_cast<std::uint16_t>(link.readAddress - kSlotSize);
    if (link.readAddress < link.windowStart)
        link.readAddress = static_cast<std::uint16_t>(link.windowEnd - kSlotSize);
    // Set again only by the reply for this slot.
    link.requestNext = false;
}

void LinkDriver::keyInitialization()
{
    link.keyInitPending = false;
    const QString text = host.keyInitText();
    // The key stores exactly four characters; a text shortened since the
    // command was armed is not sent, and the dialog stays for the user.
    if (text.size() < static_cast<qsizetype>(kKeySerialLength))
        return;
    std::array<char, kKeySerialLength> serialNumber {};
    for (std::size_t i = 0; i < kKeySerialLength; ++i) {
        const char c = text.at(static_cast<qsizetype>(i)).toUpper().toLatin1();
        serialNumber[i] = c != 0 ? c : '?';
    }
    sendCommand(writeKeyInit(txFrame, serialNumber), link.deviceAddress);
    host.closeKeyInitDialog();
}

void LinkDriver::countDown()
{
    // No countdown runs until the first reply ever arrives.
    if (link.linkCountdown == 0)
        return;
    --link.linkCountdown;
    if (link.linkCountdown == 0)
        linkLoss();
}

void LinkDriver::linkLoss()
{
    showLinkStatus(0);
    host.showStatusPopup(QStringLiteral("Connection terminated"));
    // The download's flags and addresses stay; the next link sets them anew.
    // Its flights are not written: the next link reads them again whole.
    link.pendingCount = 0;
    link.linkUp = false;
    link.deviceAddress = kSearchAddress;
    link.freshLink = true;
    link.keyInitPending = false;
}

// ---- reception -------------------------------------------------------------

void LinkDriver::dataArrived(int count)
{
    readWaiting(count > 0 ? static_cast<std::size_t>(count) : 0, false,
        [this](std::uint8_t* into, std::size_t asked) {
            const int got = serial.read(into, asked);
            return got < 1 ? std::size_t { 0 } : static_cast<std::size_t>(got);
        });
}

void LinkDriver::pollUsb()
{
    std::uint32_t waiting = 0;
    std::uint32_t queueStatus = 0;
    link.lastUsbStatus = usb.checkRxQueue(link.usbHandle, &waiting, &queueStatus);
    if (link.lastUsbStatus != 0)
        return;
    readWaiting(waiting, true, [this](std::uint8_t* into, std::size_t asked) {
        std::uint32_t returned = 0;
        link.lastUsbStatus = usb.read(link.usbHandle, into, static_cast<std::uint32_t>(asked), &returned);
        return link.lastUsbStatus != 0 ? std::size_t { 0 } : std::size_t { returned };
    });
}

void LinkDriver::readWaiting(
    std::size_t waiting, bool usbPath, const std::function<std::size_t(std::uint8_t*, std::size_t)>& read)
{
    std::array<std::uint8_t, kReadBufferSize> buffer;
    // More than one buffer's worth is read in turns, in order.
    while (waiting > 0) {
        const std::size_t asked = std::min(waiting, buffer.size());
        const std::size_t got = std::min(read(buffer.data(), asked), asked);
        if (got == 0)
            return;
        feedReceiver(buffer.data(), got, usbPath);
        if (got < asked)
            return; // the rest comes with the next notification or tick
        waiting -= got;
    }
}

void LinkDriver::feedReceiver(const std::uint8_t* bytes, std::size_t count, bool usbPath)
{
    if (feeding) {
        backlog.push_back({ std::vector<std::uint8_t>(bytes, bytes + count), usbPath });
        return;
    }
    FeedingScope scope(feeding);
    receiver.feed(bytes, count, usbPath, link.deviceAddress, *this);
    while (!backlog.empty()) {
        const PendingBytes next = std::move(backlog.front());
        backlog.pop_front();
        receiver.feed(next.bytes.data(), next.bytes.size(), next.usbPath, link.deviceAddress, *this);
    }
}

// ---- replies ---------------------------------------------------------------

void LinkDriver::dispatchReply()
{
    link.linkCountdown = kLinkTimeoutTicks;
    switch (receiver.rxType) {
    case kRecordReply:
        if (receiver.rxLength == kRedirectLength)
            onRedirectReply();
        else
            onRecordReply();
        break;
    case kIdentityReply:
        onIdentityReply();
        break;
    case kLogPositionReply:
        onLogPositionReply();
        break;
    default:
        break;
    }
}

void LinkDriver::onRedirectReply()
{
    if (receiver.rxPayload[0] != kReplyMarker)
        return;
    link.deviceAddress = kRedirectAddress;
    link.linkUp = false;
    link.countDue = true;
    link.freshLink = true;
}

void LinkDriver::onRecordReply()
{
    // The answer to a read sent before this link's download was started
    // again: that walk is dropped, and its end must not end the new one.
    if (link.countDue)
        return;
    QString shown;
    if (receiver.rxPayload[kRecordDayOffset] == FlightRecord::kEmptyDay) {
        link.requestNext = false; // the end of the log
        shown = finishDownload();
    } else {
        shown = takeRecord();
    }
    // Hidden once the reply is dealt with, its flights in the log.
    host.showStatusPopup(shown);
}

QString LinkDriver::takeRecord()
{
    link.requestNext = true;
    import.currentRecord = FlightRecord::fromBytes(receiver.rxPayload.data() + kRecordDayOffset);
    try {
        const bool known = import.isDuplicateFlight();
        // Only a flight in the log ends the walk; one that this download
        // holds already (two slots alike) says nothing of the older ones.
        if (known && !link.downloadAll && !import.isHeldFlight()) {
            link.requestNext = false; // a known flight: the rest is in the log
        } else if (!known && !import.storePending()) {
            link.requestNext = false;
        } else if (++link.slotsRead >= slotsInWindow()) {
            link.requestNext = false; // the whole memory has been read
        }
    } catch (const std::exception& e) {
        stopImport(QString::fromUtf8(e.what()));
        return {};
    }
    return link.requestNext ? QString() : finishDownload();
}

QString LinkDriver::finishDownload()
{
    std::size_t added = 0;
    try {
        added = import.flushPendingRecords();
    } catch (const std::exception& e) {
        stopImport(QString::fromUtf8(e.what()));
        return {};
    }
    if (!link.downloadAll)
        return {};
    link.downloadAll = false;
    if (added == 0)
        return QStringLiteral("Download complete: no new flights");
    if (added == 1)
        return QStringLiteral("Download complete: 1 new flight");
    return QStringLiteral("Download complete: %1 new flights").arg(added);
}

std::uint16_t LinkDriver::slotsInWindow() const
{
    if (link.windowEnd <= link.windowStart)
        return 1;
    return static_cast<std::uint16_t>(std::min<std::uint32_t>(
        (link.windowEnd - link.windowStart) / kSlotSize, FlightImport::kPendingCapacity));
}

void LinkDriver::downloadAllFlights()
{
    link.downloadAll = true;
    if (!link.linkUp)
        return; // the next link does it
    // This link starts its download again from the newest slot.
    link.countDue = true;
    link.requestNext = false;
    link.pendingCount = 0;
}

void LinkDriver::stopImport(const QString& error)
{
    // The flights did not reach the table, so the next link reads them
    // again; the link itself and the rest of this read go on.
    link.requestNext = false;
    link.pendingCount = 0;
    host.reportError(error);
}

void LinkDriver::onIdentityReply()
{
    if (receiver.rxPayload[0] != kReplyMarker)
        return;
    storeIdentityTexts();
    if (!link.linkUp)
        showLinkStatus(1);
    link.linkUp = true;
    checkKeyInitialization();
    if (link.freshLink) {
        link.countDue = true;
        link.freshLink = false;
    }
}

void LinkDriver::storeIdentityTexts()
{
    const std::uint8_t* p = receiver.rxPayload.data();
    if (p[1] == kLongIdentityLength) {
        storePrefixed(link.identityText, p + 1, kLongIdentityLength);
        storePrefixed(link.versionText, p + 13, kVersionRoom);
        storePrefixed(link.serialText, p + 21, kSerialRoom);
        return;
    }
    link.identityText.length = kShortIdentityLength;
    std::copy_n(p + 2, kShortIdentityLength, link.identityText.chars.begin());
    storePrefixed(link.versionText, p + 6, kVersionRoom);
    storePrefixed(link.serialText, p + 17, kSerialRoom);
}

void LinkDriver::checkKeyInitialization()
{
    if (!host.keyInitDialogShowing()
        || host.keyInitText().size() != static_cast<qsizetype>(kKeySerialLength)) {
        link.keyRefusalShown = false;
        return;
    }
    if (link.isDownloadKey) {
        link.keyInitPending = true;
        link.requestNext = false;
        return;
    }
    // Identity replies come every tick: say it once per link and showing.
    if (!link.keyRefusalShown) {
        link.keyRefusalShown = true;
        host.showMessage(QString::fromLatin1(kNotAKeyMessage));
    }
}

void LinkDriver::keyTextChanged(const QString& text)
{
    if (text.size() != static_cast<qsizetype>(kKeySerialLength) || !link.linkUp)
        return;
    if (link.isDownloadKey) {
        link.keyInitPending = true;
        return;
    }
    // Said at once to the typing user; the next identity replies stay quiet.
    link.keyRefusalShown = true;
    host.showMessage(QString::fromLatin1(kNotAKeyMessage));
}

void LinkDriver::onLogPositionReply()
{
    const std::uint8_t* p = receiver.rxPayload.data();
    link.readAddress = static_cast<std::uint16_t>(p[0] | p[1] << 8);
    link.countDue = false;
    if (link.readAddress == 0) {
        host.showStatusPopup(QStringLiteral("No flights logged"));
        return;
    }
    host.showStatusPopup(QStringLiteral("Preparing download"));
    link.requestNext = true;
    link.pendingCount = 0;
    link.slotsRead = 0;
    // Type B's log position lies 12 slots behind its newest flight.
    if (link.typeBMode)
        link.readAddress = static_cast<std::uint16_t>(link.readAddress + kTypeBPositionOffset);
}

// ---- status and identification --------------------------------------------

void LinkDriver::showLinkStatus(int mode)
{
    link.isDownloadKey = false;
    link.keyRefusalShown = false;
    if (mode == 0) {
        if (link.usbActive)
            host.setLinkText(QStringLiteral("Not Connected, attempting USB Tavolink IF"));
        else if (link.portReady)
            host.setLinkText(
                QStringLiteral("Not Connected, attempting COM%1").arg(static_cast<int>(link.portNumber)));
        else
            host.setLinkText(QStringLiteral("Not Connected, current port not available"));
        return;
    }
    const QString model = identifyDevice();
    link.instrumentSerial = link.serialText;
    const QLatin1Char space(' ');
    host.setLinkText(
        model + space + latin1(link.serialText.view()) + space + latin1(link.versionText.view()));
}

QString LinkDriver::identifyDevice()
{
    const bool longForm = link.identityText.size() == kLongIdentityLength;
    const char letter = link.serialText.size() > 0 ? link.serialText.chars[0] : '\0';
    link.windowStart = longForm ? kLongFormWindowStart : kWindowStart;
    link.windowEnd = kWindowEnd;
    link.typeBMode = false;
    // Every key announces itself as type 2: nothing in its identity reply
    // tells the first kind of key apart.
    if (letter == 'K') {
        link.isDownloadKey = true;
        // A key identifies itself by its target instrument, whose serial
        // number labels the flights it brings.
        link.serialText = link.identityText;
        if (!longForm && link.serialText.size() > 0 && link.serialText.chars[0] == 'L')
            link.windowStart = kLumenLrWindowStart;
        return QStringLiteral("Connected to download device type 2");
    }
    if (longForm)
        return QStringLiteral("Connected to Corvane Lumen HR");
    switch (letter) {
    case 'F':
        return QStringLiteral("Connected to Corvane Kite");
    case 'B':
        link.windowEnd = kTypeBWindowEnd;
        link.typeBMode = true;
        return QStringLiteral("Connected to Corvane Kite 2");
    case 'E':
        return QStringLiteral("Connected to Corvane Vireo");
    case 'L':
    case '"':
        link.windowStart = kLumenLrWindowStart;
        return QStringLiteral("Connected to Corvane Lumen LR");
    case 'X':
        return QStringLiteral("Connected to Corvane Lumen");
    default:
        return QStringLiteral("Connected to Unknown instrument");
    }
}

} // namespace cvlog
