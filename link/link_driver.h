#pragma once
// The link driver: the 200 ms tick that decides what to ask the device, the
// receiver's two inputs (serial notification and USB poll), the dispatcher
// that acts on replies, and the device identification. The tick and the
// replies together are the whole protocol: the tick reads the flags that
// the replies set.

#include "link/command_packet.h"
#include "link/flight_import.h"
#include "link/link_ports.h"
#include "link/link_state.h"
#include "link/reply_receiver.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace cvlog
{

class SerialChannel;

class LinkDriver : public ReplySink
{
public:
    // Each serial notification and USB poll reads at most this much at once.
    static constexpr std::size_t kReadBufferSize = 10000;
    // Ticks without a dispatched reply before the link counts as lost.
    static constexpr std::uint8_t kLinkTimeoutTicks = 5;

    LinkDriver(LinkState& link, LinkHost& host, SerialPort& serial, UsbPort& usb, FlightStore& store);

    // Start-up: the receiver waits for a start byte, the next link is new.
    void resetReceiver();
    // The serial device came back: the link starts from the beginning, as at
    // start-up, whether or not the loss of the old one was noticed first, so
    // the next identity reply leads to a full download.
    void portReopened();
    // The user chose the serial port "COM<n>": the channel is closed, given
    // that name and opened again, and the device on it is identified anew.
    // A port that cannot be opened throws SerialChannelError and leaves the channel
    // closed; the link sends nothing until a port is open.
    void switchPort(SerialChannel& comm, int portNumber);

    // One step of the link, every 200 ms: the next command, a reply's
    // time-out, the USB bridge's bytes.
    void tick();
    void sendCommand(std::uint8_t length, std::uint8_t address);
    // The serial channel has count bytes waiting.
    void dataArrived(int count);
    // The tick's last step while the USB bridge is the transport.
    void pollUsb();
    void feedReceiver(const std::uint8_t* bytes, std::size_t count, bool usbPath);
    // Reads what a transport says is waiting, a buffer at a time, into the
    // receiver; read answers how many bytes it gave, 0 when none or failed.
    void readWaiting(std::size_t waiting, bool usbPath,
        const std::function<std::size_t(std::uint8_t*, std::size_t)>& read);
    void dispatchReply() override;
    // 0: the not-connected text for the transport; 1: identify the linked
    // device and show it.
    void showLinkStatus(int mode);
    // The serial number typed in the key dialog has changed.
    void keyTextChanged(const QString& text);
    // The next download, or this link's started again at once, reads the
    // whole log memory and brings every flight the log lacks.
    void downloadAllFlights();

    TxFrame txFrame {};
    ReplyReceiver receiver;
    FlightImport import;

private:
    struct PendingBytes {
        std::vector<std::uint8_t> bytes;
        bool usbPath = false;
    };

    void sendIdentityRequest();
    void sendLogPositionRequest();
    void recordRead();
    void keyInitialization();
    void countDown();
    void linkLoss();

    void onRedirectReply();
    void onRecordReply();
    // Each returns what the status pop-up shows once the reply is dealt with.
    QString takeRecord();
    // The download ended as it should: its flights go into the log.
    QString finishDownload();
    std::uint16_t slotsInWindow() const;
    void stopImport(const QString& error);
    void onIdentityReply();
    void storeIdentityTexts();
    void checkKeyInitialization();
    void onLogPositionReply();
    QString identifyDevice();

    LinkState& link;
    LinkHost& host;
    SerialPort& serial;
    UsbPort& usb;
    // Bytes that arrive while a read is still being fed (a nested event
    // loop) wait here, so the frame being received is not torn apart.
    bool feeding = false;
    std::deque<PendingBytes> backlog;
};

} // namespace cvlog
