"""The import of flights through the whole program: the real cvlog worked
through "Import flights..." and its dialog (CVLOG_TEST_CONTROL), the table
read back with dbfread, and the program killed in the middle of an import.
Run one case with: import_test.py ImportTest.test_...
"""
import datetime
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from database_test import MESSAGE, flight  # noqa: E402
from e2e_support import (START_TIMEOUT, DownloadCase, header_count, write_log_table,  # noqa: E402
                         write_settings)

# What the dialog shows once it has read the whole file.
READ = "CVLOG OPEN Import flights: "
# The log's rows: a header of 32 bytes a field and one more, a flag byte and the fields.
HEADER_SIZE = 32 + 32 * 9 + 1
ROW_SIZE = 1 + 8 + 5 + 9 * 5 + 4 + 64


class ImportTest(DownloadCase):

    def setUp(self):
        super().setUp()
        self.table = os.path.join(self.dir, "CVLog.dbf")

    def start(self, rows=None):
        if rows is not None:
            write_log_table(self.table, rows)
        write_settings(self.dir, com1="/dev/null-no-port")
        program = self.start_program(control=True)
        self.assertIsNotNone(program.wait_line(lambda l: l.startswith("CVLOG STATUS")), program.output.text())
        return program

    def send(self, program, *lines):
        for line in lines:
            self.assertIsNotNone(program.command(line), "%s\n%s" % (line, program.output.text()))

    def open_import(self, program, path):
        """Opens the dialog on the file; returns what it says once it has read the file."""
        since = program.output.mark()
        self.send(program, "file " + path, "trigger ImportFlights1")
        found = program.wait_line(lambda l: l.startswith(READ), since=since)
        self.assertIsNotNone(found, program.output.text())
        return program.output.lines[found][len(READ):]

    def import_and_wait(self, program, message):
        since = program.output.mark()
        self.send(program, "click ImportDialog/Import")
        found = program.wait_line(lambda l: MESSAGE.match(l) is not None and message in l, since=since)
        self.assertIsNotNone(found, "no message %r\n%s" % (message, program.output.text()))

    def stop(self, program):
        self.assertTrue(program.running(), program.output.text())
        self.stop_program(program)

    def read(self):
        import dbfread
        table = dbfread.DBF(self.table, encoding="cp850", char_decode_errors="strict")
        return [{k.upper(): v for k, v in r.items()} for r in table]

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_a_spreadsheet_is_imported_with_the_guessed_columns_and_not_twice(self):
        program = self.start([flight(1, 60, "already here")])
        sheet = self.write("sheet.csv", b"\xef\xbb\xbf" + (
            "Date;Take-off;Flight time;Max altitude;Max speed;Student;Hobbs;Serial;Remarks\r\n"
            "01.03.2026;9:01;1,0;1001;90;0;1,7;EA15;\"already here\"\r\n"
            "14.03.2026;10:30;1,5;2500;95;3;1234,5;EA15;\"Tea; then \"\"the\"\" ridge\"\r\n"
            "15.03.2026;11:00;0,25;;;;;K9;\"two\r\nlines, \u00e9t\u00e9\"\r\n").encode("utf-8"))
        said = self.open_import(program, sheet)
        self.assertTrue(said.startswith(
            "2 flights to import; 1 already in the log; 0 twice in the file; 0 rows cannot be read."), said)
        self.import_and_wait(program, "Imported 2 flights; 1 already in the log; 0 rows could not be read.")

        # The same file again brings nothing new.
        self.open_import(program, sheet)
        self.import_and_wait(program, "Imported 0 flights; 3 already in the log; 0 rows could not be read.")
        self.stop(program)

        rows = self.read()
        self.assertEqual(len(rows), 3)
        self.assertEqual(rows[1], {"TAKEOFFD": datetime.date(2026, 3, 14), "TAKEOFFT": "10:30", "FLIGHTTIME": 90,
                                   "MAXALT": 2500, "MAXSPD": 95, "STUDENT": 3, "HOBBS": 74070,
                                   "INSTRUMENT": "EA15", "COMMENT": 'Tea; then "the" ridge'})
        self.assertEqual(rows[2], {"TAKEOFFD": datetime.date(2026, 3, 15), "TAKEOFFT": "11:00", "FLIGHTTIME": 15,
                                   "MAXALT": None, "MAXSPD": None, "STUDENT": None, "HOBBS": None,
                                   "INSTRUMENT": "K9", "COMMENT": "two  lines, \u00e9t\u00e9"})

    def test_rows_that_cannot_be_read_are_listed_and_the_rest_stored_only_when_asked(self):
        program = self.start([flight(1, 60)])
        path = self.write("other.csv", (
            "date,time,minutes,instrument,notes\n"
            "2026-04-01,8:00,45,K9,fine\n"
            "2026-04-31,8:00,45,K9,no such day\n"
            "2026-04-02,8:00,an hour,K9,no duration\n"
            "2026-04-03,8:00,30,K9,fine too\n").encode("utf-8"))
        said = self.open_import(program, path)
        self.assertIn("2 flights to import; 0 already in the log; 0 twice in the file; 2 rows cannot be read.", said)
        self.assertIn("Line 3: '2026-04-31' is not a valid date", said)
        self.assertIn("Line 4: 'an hour' is not a valid duration for field 'FLIGHTTIME'", said)
        since = program.output.mark()
        self.send(program, "click ImportDialog/Cancel", "sync")
        self.assertEqual([l for l in program.output.lines[since:] if MESSAGE.match(l)], [], "Cancel says nothing")

        self.open_import(program, path)
        self.import_and_wait(program, "Imported 2 flights; 0 already in the log; 2 rows could not be read.")
        self.stop(program)
        self.assertEqual([(r["TAKEOFFD"], r["FLIGHTTIME"], r["COMMENT"]) for r in self.read()],
                         [(datetime.date(2026, 3, 1), 60, ""), (datetime.date(2026, 4, 1), 45, "fine"),
                          (datetime.date(2026, 4, 3), 30, "fine too")])

    def test_a_killed_import_leaves_the_old_log_or_the_whole_import(self):
        old = [flight(1 + i % 28, 30 + i) for i in range(10)]
        count = 150000
        lines = ["%d/%d/%d,%d:%02d,1:%02d,%d,%d,0,%d:00,K%d,flight %d\r\n"
                 % (1 + i % 12, 1 + i % 28, 1990 + i // 4000, i // 60 % 24, i % 60, i % 60, i % 9000, i % 300,
                    i, i % 7, i) for i in range(count)]
        big = self.write("big.txt", "".join(lines).encode("ascii"))
        note = os.path.join(self.dir, ".CVLog.dbf.appending")

        def appending():
            return os.path.exists(note)

        def grown_by_half():
            return appending() and os.path.getsize(self.table) > HEADER_SIZE + (len(old) + count // 2) * ROW_SIZE

        for moment, reached in (("the dialog read the file", None),
                                ("the rows begun", appending),
                                ("half the rows written", grown_by_half)):
            program = self.start(old)
            self.open_import(program, big)
            if reached is not None:
                since = program.output.mark()
                self.send(program, "click ImportDialog/Import")

                def done():
                    return any(MESSAGE.match(l) for l in program.output.lines[since:])
                # A fast machine may end the import between two looks: it stands whole then.
                self.wait_until(lambda: reached() or done(), program, moment, timeout=START_TIMEOUT * 4)
            program.kill()
            # The next opening takes back what an unfinished import left.
            program = self.start()
            self.stop(program)
            rows = header_count(self.table)
            self.assertIn(rows, (len(old), len(old) + count), moment)
            self.assertEqual(os.path.getsize(self.table), HEADER_SIZE + rows * ROW_SIZE + 1, moment)
            self.assertFalse(appending(), moment)

        # Left alone, the import stands whole.
        program = self.start(old)
        self.open_import(program, big)
        self.import_and_wait(program, "Imported %d flights; 0 already in the log; 0 rows could not be read." % count)
        program.kill()
        program = self.start()
        self.stop(program)
        self.assertEqual(header_count(self.table), len(old) + count)


if __name__ == "__main__":
    unittest.main()
