#pragma once
// The few things the link logic needs from the world around it. The serial
// channel and the USB bridge serve the transports themselves; the main
// window implements the rest over its status bar, pop-up and dialogs, and
// the log table. Tests implement them with scripted fakes, so a whole
// download runs tick by tick without a timer, a port or a window.

#include <QDate>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cvlog
{

// The serial channel as the link uses it.
class SerialPort
{
public:
    virtual ~SerialPort() = default;
    // Hands the bytes to the channel; its outcome is not looked at, a frame
    // that never arrives shows up as a missing reply.
    virtual void write(const std::uint8_t* bytes, std::size_t count) = 0;
    // Reads up to maxCount waiting bytes; -1 on failure, else the count read.
    virtual int read(std::uint8_t* buffer, std::size_t maxCount) = 0;
};

// The USB bridge calls the link makes; each returns the bridge's status,
// 0 meaning success.
class UsbPort
{
public:
    virtual ~UsbPort() = default;
    virtual int write(void* handle, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t* written)
        = 0;
    virtual int checkRxQueue(void* handle, std::uint32_t* bytesInQueue, std::uint32_t* queueStatus) = 0;
    virtual int read(void* handle, std::uint8_t* buffer, std::uint32_t count, std::uint32_t* returned) = 0;
};

// What the link shows and asks of the main window. None of these may run a
// nested event loop before returning (show message boxes with open(), or
// post them): they are called in the middle of a received read.
class LinkHost
{
public:
    virtual ~LinkHost() = default;
    // The link text of the status bar's last panel.
    virtual void setLinkText(const QString& text) = 0;
    // Shows the status pop-up with the text; an empty text hides it.
    virtual void showStatusPopup(const QString& text) = 0;
    // A plain information box with an "OK" button.
    virtual void showMessage(const QString& text) = 0;
    // The program's general error handling, for a failure that ends an
    // operation but not the program.
    virtual void reportError(const QString& text) = 0;
    // The key initialization dialog.
    virtual bool keyInitDialogShowing() const = 0;
    virtual QString keyInitText() const = 0;
    virtual void closeKeyInitDialog() = 0;
    // The local calendar date, from which a flight's year is inferred.
    virtual QDate today() const = 0;
};

// One imported flight as it goes into the log table, in stored units.
struct FlightRow {
    QDate takeoffDate;
    std::string takeoffTime; // ASCII, at most 5 characters
    std::int32_t flightTime = 0; // minutes
    std::int32_t maxAltitude = 0; // feet
    std::int32_t maxSpeed = 0; // miles per hour
    std::int32_t student = 0;
    std::int32_t hobbs = 0; // minutes
    QString instrument; // the table cuts it to its column width
};

// The log table as the import uses it. Failures are thrown as exceptions
// carrying the text to show.
class FlightStore
{
public:
    virtual ~FlightStore() = default;
    // Whether a live row, whatever the date filter shows, holds this flight:
    // the same take-off date and time text, flight time and Hobbs time, and
    // the same instrument where the row names one. The view does not move,
    // so a user editing a row is left alone.
    virtual bool findFlight(const FlightRow& flight) = 0;
    // Appends the rows in order and writes them to the file, all of them or,
    // when that fails or the program is killed meanwhile, none.
    virtual void appendFlights(const std::vector<FlightRow>& rows) = 0;
    // Keeps the grid from following the table while rows are walked or added.
    virtual void suspendDisplay() = 0;
    virtual void resumeDisplay() = 0;
};

} // namespace cvlog
