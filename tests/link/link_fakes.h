#pragma once
// Scripted stand-ins for the link's surroundings, and builders for the bytes
// a device sends. A test plays the device: it checks each frame the driver
// sends and hands back the reply, tick by tick.

#include "link/command_packet.h"
#include "link/flight_import.h"
#include "link/link_driver.h"
#include "link/link_ports.h"
#include "link/link_state.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace cvlog::test
{

using Bytes = std::vector<std::uint8_t>;

inline Bytes Frame(std::uint8_t address, std::uint8_t type, const Bytes& payload)
{
    Bytes body { type };
    body.insert(body.end(), payload.begin(), payload.end());
    const auto length = static_cast<std::uint8_t>(body.size());
    Bytes frame { kStartByte, address, length };
    frame.insert(frame.end(), body.begin(), body.end());
    frame.push_back(frameChecksum(address, length, body.data()));
    frame.push_back(kEndByte);
    return frame;
}

inline Bytes Prefixed(const std::string& text, std::size_t room)
{
    Bytes field { static_cast<std::uint8_t>(text.size()) };
    for (std::size_t i = 0; i < room; ++i)
        field.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    return field;
}

// Short identity form: four identity characters, version, serial number.
inline Bytes ShortIdentity(const std::string& identity, const std::string& version, const std::string& serial)
{
    Bytes p { 0x04, 0x00 };
    for (std::size_t i = 0; i < 4; ++i)
        p.push_back(i < identity.size() ? static_cast<std::uint8_t>(identity[i]) : ' ');
    const Bytes v = Prefixed(version, 7);
    p.insert(p.end(), v.begin(), v.end());
    p.insert(p.end(), { 0, 0, 0 });
    const Bytes s = Prefixed(serial, 4);
    p.insert(p.end(), s.begin(), s.end());
    return p;
}

inline Bytes LongIdentity(const std::string& identity, const std::string& version, const std::string& serial)
{
    Bytes p { 0x04 };
    const Bytes i = Prefixed(identity, 11);
    const Bytes v = Prefixed(version, 7);
    const Bytes s = Prefixed(serial, 4);
    p.insert(p.end(), i.begin(), i.end());
    p.insert(p.end(), v.begin(), v.end());
    p.insert(p.end(), s.begin(), s.end());
    return p;
}

inline Bytes IdentityReply(const Bytes& payload, std::uint8_t from = 0xFF)
{
    return Frame(from, 9, payload);
}
inline Bytes PositionReply(std::uint16_t position, std::uint8_t from = 0xFF)
{
    return Frame(
        from, 13, { static_cast<std::uint8_t>(position & 0xFF), static_cast<std::uint8_t>(position >> 8) });
}
inline Bytes RedirectReply(std::uint8_t from = 0xFF)
{
    return Frame(from, 8, { 0x04 });
}

struct Flight {
    int day = 1, month = 1, hour = 10, minute = 0;
    int flightMinutes = 30, flightHours = 0;
    int maxSpeed = 80, maxAltitude = 3000;
    int hobbsMinutes = 0, hobbsHours = 0, hobbsHundreds = 0, student = 0;
};

inline Bytes SlotPayload(const Flight& f)
{
    auto b = [](int v) { return static_cast<std::uint8_t>(v); };
    return { 0x00, 0x00, b(f.day), b(f.month), b(f.hour), b(f.minute), b(f.flightMinutes), b(f.flightHours),
        b(f.maxSpeed & 0xFF), b(f.maxSpeed >> 8), b(f.maxAltitude & 0xFF), b(f.maxAltitude >> 8),
        b(f.hobbsMinutes), b(f.hobbsHours), b(f.hobbsHundreds), b(f.student) };
}
inline Bytes RecordReply(const Flight& f, std::uint8_t from = 0xFF)
{
    return Frame(from, 8, SlotPayload(f));
}
inline Bytes EmptySlotReply(std::uint8_t from = 0xFF)
{
    Bytes p(16, 0xFF);
    return Frame(from, 8, p);
}

// The command frames the driver should send.
inline Bytes IdentityRequest(std::uint8_t to)
{
    return Frame(to, 0x08, { 0x04 });
}
inline Bytes PositionRequest(std::uint8_t to)
{
    return Frame(to, 0x00, { 0x07 });
}
inline Bytes recordRead(std::uint8_t to, std::uint16_t address)
{
    return Frame(
        to, 0x07, { static_cast<std::uint8_t>(address & 0xFF), static_cast<std::uint8_t>(address >> 8) });
}

class FakeSerial : public SerialPort
{
public:
    void write(const std::uint8_t* bytes, std::size_t count) override
    {
        written.emplace_back(bytes, bytes + count);
    }
    int read(std::uint8_t* buffer, std::size_t maxCount) override
    {
        asked.push_back(maxCount);
        if (failReads)
            return -1;
        const std::size_t n = std::min(maxCount, incoming.size());
        std::copy_n(incoming.begin(), n, buffer);
        incoming.erase(incoming.begin(), incoming.begin() + static_cast<std::ptrdiff_t>(n));
        return static_cast<int>(n);
    }

    std::vector<Bytes> written;
    std::deque<std::uint8_t> incoming;
    std::vector<std::size_t> asked;
    bool failReads = false;
};

class FakeUsb : public UsbPort
{
public:
    int write(void*, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t* written) override
    {
        sent.emplace_back(bytes, bytes + count);
        *written = count;
        return 0;
    }
    int checkRxQueue(void*, std::uint32_t* bytesInQueue, std::uint32_t* queueStatus) override
    {
        *bytesInQueue = static_cast<std::uint32_t>(queue.size());
        *queueStatus = 0;
        return queueCheckStatus;
    }
    int read(void*, std::uint8_t* buffer, std::uint32_t count, std::uint32_t* returned) override
    {
        asked.push_back(count);
        if (readStatus != 0)
            return readStatus; // a failed read leaves the bytes where they are
        const std::size_t n = std::min<std::size_t>(count, queue.size());
        std::copy_n(queue.begin(), n, buffer);
        queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(n));
        *returned = static_cast<std::uint32_t>(n);
        return readStatus;
    }

    std::vector<Bytes> sent;
    std::deque<std::uint8_t> queue;
    std::vector<std::uint32_t> asked;
    int queueCheckStatus = 0;
    int readStatus = 0;
};

class FakeHost : public LinkHost
{
public:
    void setLinkText(const QString& text) override { linkText = text; }
    void showStatusPopup(const QString& text) override { popups << text; }
    void showMessage(const QString& text) override { messages << text; }
    void reportError(const QString& text) override { errors << text; }
    bool keyInitDialogShowing() const override { return dialogShowing; }
    QString keyInitText() const override { return dialogText; }
    void closeKeyInitDialog() override { dialogShowing = false; }
    QDate today() const override { return date; }

    QString linkText;
    QStringList popups;
    QStringList messages;
    QStringList errors;
    bool dialogShowing = false;
    QString dialogText;
    QDate date { 2026, 3, 15 };
};

class FakeStore : public FlightStore
{
public:
    bool findFlight(const FlightRow& flight) override
    {
        ++searches;
        if (failing)
            throw std::runtime_error("table closed");
        return std::any_of(rows.begin(), rows.end(), [&](const FlightRow& r) {
            return r.takeoffDate == flight.takeoffDate && r.takeoffTime == flight.takeoffTime
                && r.flightTime == flight.flightTime && r.hobbs == flight.hobbs
                && (r.instrument.isEmpty() || r.instrument == flight.instrument);
        });
    }
    void appendFlights(const std::vector<FlightRow>& batch) override
    {
        if (failing)
            throw std::runtime_error("disk full");
        rows.insert(rows.end(), batch.begin(), batch.end());
        ++appends;
    }
    void suspendDisplay() override { ++depth; }
    void resumeDisplay() override { --depth; }

    std::vector<FlightRow> rows;
    int searches = 0;
    int appends = 0;
    int depth = 0;
    bool failing = false;
};

// A driver in its surroundings, linked to a serial port by default.
struct LinkRig {
    LinkRig(FlightStore& store)
        : driver(link, host, serial, usb, store)
    {
        link.portNumber = 3;
        link.portReady = true;
        driver.resetReceiver();
    }
    explicit LinkRig()
        : LinkRig(ownStore)
    {
    }

    // One tick; the frame it sent over either transport, or none.
    Bytes tick()
    {
        const std::size_t serialBefore = serial.written.size();
        const std::size_t usbBefore = usb.sent.size();
        driver.tick();
        if (serial.written.size() > serialBefore)
            return serial.written.back();
        if (usb.sent.size() > usbBefore)
            return usb.sent.back();
        return {};
    }
    // The device's answer, as one serial notification.
    void answer(const Bytes& bytes)
    {
        serial.incoming.insert(serial.incoming.end(), bytes.begin(), bytes.end());
        driver.dataArrived(static_cast<int>(serial.incoming.size()));
    }

    FakeStore ownStore;
    LinkState link;
    FakeHost host;
    FakeSerial serial;
    FakeUsb usb;
    LinkDriver driver;
};

} // namespace cvlog::test
