"""Undo and redo through the whole program: cvlog against cvlog-sim, a
download, a delete, an edit, an added row and an import, each undone and redone with the
Edit menu's keys, the table read back with dbfread after every step. Run one
case with: undo_test.py UndoTest.test_...
"""
import datetime
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_support import (DownloadCase, season, slot_address, write_flights,  # noqa: E402
                         write_log_table, write_settings)

UNDO, REDO, OTHER_REDO = "Ctrl+Z", "Ctrl+Shift+Z", "Ctrl+Y"
SERIAL = "F942"


def flight(day, minutes, comment=""):
    return {"TAKEOFFD": datetime.date(2025, 3, day), "TAKEOFFT": "9:%02d" % day, "FLIGHTTIME": minutes,
            "MAXALT": 1000, "MAXSPD": 90, "STUDENT": 1, "HOBBS": 100 * day, "INSTRUMENT": "EA15",
            "COMMENT": comment}


class UndoTest(DownloadCase):

    def send(self, program, *lines):
        for line in lines:
            self.assertIsNotNone(program.command(line), "%s\n%s" % (line, program.output.text()))
        self.assertIsNotNone(program.command("sync"), program.output.text())

    def table(self):
        """The live rows' comments and flight times, and how many rows are
        marked deleted, as dbfread reads the file."""
        import dbfread
        table = dbfread.DBF(os.path.join(self.dir, "CVLog.dbf"), encoding="cp850", char_decode_errors="strict")
        live = [({k.upper(): v for k, v in r.items()}["COMMENT"], {k.upper(): v for k, v in r.items()}["FLIGHTTIME"])
                for r in table]
        return live, len(list(table.deleted))

    def expect(self, program, what, live_count, deleted, comments=None):
        # A key's step is done once a later command has been taken; the file
        # is then read by a reader of its own.
        self.send(program, "sync")
        live, deleted_now = self.table()
        self.assertEqual((len(live), deleted_now), (live_count, deleted), "%s\n%s" % (what, program.output.text()))
        if comments is not None:
            self.assertEqual([c for c, _ in live], comments, what)
        return live

    def test_every_step_is_undone_and_redone_through_the_keys(self):
        write_log_table(os.path.join(self.dir, "CVLog.dbf"), [flight(1, 60), flight(2, 90)])
        flights = season(5)
        path = os.path.join(self.dir, "sim-flights.txt")
        write_flights(path, flights)
        sim = self.start_sim(["--type", "F", "--serial", SERIAL, "--flights", path])
        write_settings(self.dir, com1=sim.pty)
        program = self.start_program(control=True)
        end = program.wait_download_end(slot_address(-1), 60)
        self.assertIsNotNone(end, self.explain(program, sim))
        # No further link: a flight taken back must not come again.
        sim.stop()
        self.expect(program, "the download", 7, 0)

        self.send(program, "key " + UNDO)
        self.expect(program, "undo of the download of 5 flights", 2, 5, ["", ""])
        self.send(program, "key " + REDO)
        self.expect(program, "redo of the download", 7, 0)

        self.send(program, "click First", "answer yes", "click Delete")
        deleted = self.expect(program, "the delete", 6, 1)
        self.send(program, "key " + UNDO)
        self.expect(program, "undo of the delete", 7, 0)
        self.send(program, "key " + OTHER_REDO)
        self.assertEqual(self.expect(program, "redo of the delete", 6, 1), deleted)
        self.send(program, "key " + UNDO)
        self.expect(program, "the delete undone again", 7, 0)

        self.send(program, "click First", "type DBEdit5 edited", "click Post")
        edited = self.expect(program, "the edit", 7, 0)
        self.assertEqual(edited[0][0], "edited")
        self.send(program, "key " + UNDO)
        self.assertEqual(self.expect(program, "undo of the edit", 7, 0)[0][0], "")
        self.send(program, "key " + REDO)
        self.assertEqual(self.expect(program, "redo of the edit", 7, 0), edited)

        self.send(program, "click First", "click Insert", "type DBEdit5 added", "click Post")
        added = self.expect(program, "the added row", 8, 0)
        self.assertEqual(added[-1][0], "added")
        self.send(program, "key " + UNDO)
        self.assertEqual(self.expect(program, "undo of the added row", 7, 1), edited)
        self.send(program, "key " + REDO)
        self.assertEqual(self.expect(program, "redo of the added row", 8, 0), added)

        sheet = os.path.join(self.dir, "other-logbook.csv")
        with open(sheet, "w", encoding="utf-8") as f:
            f.write("Date,Departure,Duration,Serial,Remarks\n2025-04-01,8:00,1:00,EA15,imported one\n"
                    "2025-04-02,8:30,0:45,EA15,imported two\n")
        since = program.output.mark()
        self.send(program, "file " + sheet, "trigger ImportFlights1")
        self.assertIsNotNone(program.wait_line(lambda l: l.startswith("CVLOG OPEN Import flights: "), since=since),
                             program.output.text())
        since = program.output.mark()
        self.send(program, "click ImportDialog/Import")
        self.assertIsNotNone(program.wait_line(lambda l: "Imported 2 flights" in l, since=since), program.output.text())
        imported = self.expect(program, "the import", 10, 0)
        self.assertEqual([c for c, _ in imported[-2:]], ["imported one", "imported two"])
        self.send(program, "key " + UNDO)
        self.assertEqual(self.expect(program, "undo of the import", 8, 2), added)
        self.send(program, "key " + REDO)
        self.assertEqual(self.expect(program, "redo of the import", 10, 0), imported)

        # Back through every step to the log as it was before the download.
        for _ in range(5):
            self.send(program, "key " + UNDO)
        self.expect(program, "every step undone", 2, 8, ["", ""])
        self.assertNotIn("CVLOG MESSAGE [error]", program.output.text())
        self.stop_program(program)
        self.assertEqual(self.table()[0], [("", 60), ("", 90)])


if __name__ == "__main__":
    unittest.main()
