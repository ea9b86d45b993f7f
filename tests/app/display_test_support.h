#pragma once
// The window over a table seeded before start-up, with its COM1 on a
// pseudo-terminal so that the first showing opens a port that exists.

#include "app_test_support.h"
#include "pty_pair.h"

#include "app/record_panel_grid.h"

#include <QByteArray>
#include <QLineEdit>

#include <optional>
#include <vector>

namespace cvlog::test
{

struct SeedRow {
    SeedRow(
        QDate d, std::int64_t minutes, std::optional<std::int64_t> s = std::nullopt, std::int64_t feet = 0)
        : date(d)
        , flightTime(minutes)
        , student(s)
        , altitude(feet)
    {
    }
    QDate date; // invalid: no date
    std::int64_t flightTime;
    std::optional<std::int64_t> student;
    std::int64_t altitude;
};

class DisplayTest : public WindowTest
{
protected:
    // [General] PORT and [Ports] COM1 on the pseudo-terminal, plus lines of the test's own.
    void writeSettings(int port, const QByteArray& more = {})
    {
        WriteAll(file("CVLog.ini"),
            "[General]\nPORT=" + QByteArray::number(port) + "\n" + more
                + "[Ports]\nCOM1=" + QByteArray::fromStdString(com1.slavePath()) + "\n" + portLines);
    }

    void seed(const std::vector<SeedRow>& rows)
    {
        FlightLog table;
        table.setPath(file("CVLog.dbf").toStdString());
        table.create(logTableFields());
        table.open();
        for (const SeedRow& row : rows) {
            table.append();
            table.setDate(kTakeoffDate, row.date);
            table.setInteger(kFlightTime, row.flightTime);
            if (row.student)
                table.setInteger(kStudent, *row.student);
            table.setInteger(kMaxAltitude, row.altitude);
            table.post();
        }
        table.close();
    }

    std::unique_ptr<TForm1> start()
    {
        if (!QFile::exists(file("CVLog.ini")))
            writeSettings(1);
        return makeWindow();
    }

    // The flight times of the rows the view lets through, in order.
    static std::vector<std::int64_t> shownFlightTimes(TForm1& form)
    {
        std::vector<std::int64_t> times;
        for (form.Dbf1.first(); !form.Dbf1.eof(); form.Dbf1.next())
            times.push_back(form.Dbf1.integer(kFlightTime));
        return times;
    }

    static QLineEdit* currentEdit(TForm1& form, LogField field)
    {
        return form.DBCtrlGrid1->edit(form.DBCtrlGrid1->currentPanel(), field);
    }

    PtyPair com1;
    QByteArray portLines; // further [Ports] lines
};

} // namespace cvlog::test
