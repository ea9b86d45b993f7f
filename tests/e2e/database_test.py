"""The Database menu and the download key dialog through the whole program:
the real cvlog worked through its menus (CVLOG_TEST_CONTROL), the table and
its copies read back with dbfread, a foreign table written with pyshp.
Run one case with: database_test.py DatabaseTest.test_...
"""
import datetime
import os
import re
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_support import (START_TIMEOUT, DownloadCase, safety_copies, season, write_flights,  # noqa: E402
                         write_log_table, write_settings)

SELF_BACKUP = "File cannot be saved to itself, please choose a new name."
SELF_RESTORE = "File cannot be restored to itself, please choose a new name."
MESSAGE = re.compile(r"^CVLOG MESSAGE \[(\w+)\] [^:]*: (.*)$")


def flight(day, minutes, comment=""):
    return {"TAKEOFFD": datetime.date(2026, 3, day), "TAKEOFFT": "9:%02d" % day, "FLIGHTTIME": minutes,
            "MAXALT": 1000 + day, "MAXSPD": 90, "STUDENT": 0, "HOBBS": 100 * day, "INSTRUMENT": "EA15",
            "COMMENT": comment}


class DatabaseTest(DownloadCase):

    def setUp(self):
        super().setUp()
        self.table = os.path.join(self.dir, "CVLog.dbf")

    def start(self, rows):
        write_log_table(self.table, rows)
        write_settings(self.dir, com1="/dev/null-no-port")
        program = self.start_program(control=True)
        self.assertIsNotNone(program.wait_line(lambda l: l.startswith("CVLOG STATUS")), program.output.text())
        return program

    def run_command(self, program, *lines, message=None):
        """Sends the lines, the last a trigger, and waits for the next message
        box (or, without one expected, for the command's acknowledgement)."""
        since = program.output.mark()
        for line in lines:
            self.assertIsNotNone(program.command(line), "%s\n%s" % (line, program.output.text()))
        if message is None:
            return None
        found = program.wait_line(lambda l: MESSAGE.match(l) and message in l, since=since)
        self.assertIsNotNone(found, "no message %r\n%s" % (message, program.output.text()))
        return found

    def settle(self, program):
        """A command that says nothing is done once a later command is taken."""
        self.assertIsNotNone(program.command("sync"), program.output.text())

    def read(self, path=None):
        import dbfread
        table = dbfread.DBF(path or self.table, encoding="cp850", char_decode_errors="strict")
        return [{k.upper(): v for k, v in r.items()} for r in table]

    def summary(self, path=None):
        return [(r["TAKEOFFD"], r["FLIGHTTIME"], r["COMMENT"]) for r in self.read(path)]

    def test_backup_compact_wipe_and_restore_never_lose_the_log(self):
        rows = [flight(1, 60, "first"), dict(flight(2, 61), _deleted=True), flight(3, 62), flight(4, 63, "last")]
        program = self.start(rows)
        shown = [(datetime.date(2026, 3, d), m, c) for d, m, c in ((1, 60, "first"), (3, 62, ""), (4, 63, "last"))]

        backup = os.path.join(self.dir, "backup.dbf")
        with open(backup, "w") as f:
            f.write("an older backup")
        self.run_command(program, "file " + backup, "trigger N1")
        self.settle(program)
        with open(backup, "rb") as f, open(self.table, "rb") as t:
            self.assertEqual(f.read(), t.read(), "the backup is the table after its close")
        for spelling in ("cvlog.DBF", "./CVLOG.dbf", "sub/../CVLog.DBF"):
            os.makedirs(os.path.join(self.dir, "sub"), exist_ok=True)
            self.run_command(program, "file " + os.path.join(self.dir, spelling), "trigger N1", message=SELF_BACKUP)
            self.run_command(program, "file " + os.path.join(self.dir, spelling), "trigger Restoredatabase1",
                             message=SELF_RESTORE)

        self.run_command(program, "trigger Compactdatabse1", message="Compact database done")
        self.assertEqual(self.summary(), shown)
        self.assertEqual(os.path.getsize(self.table), 321 + 3 * 127 + 1)

        with open(self.table, "rb") as f:
            before = f.read()
        self.run_command(program, "answer yes", "answer no", "trigger Wipedatabase1", message="Final confirmation")
        self.settle(program)
        with open(self.table, "rb") as f:
            self.assertEqual(f.read(), before, "answered No: nothing changes")
        self.run_command(program, "answer yes", "answer yes", "trigger Wipedatabase1")
        self.wait_until(lambda: os.path.getsize(self.table) == 322, program, "wiped")
        self.assertEqual(self.summary(safety_copies(self.dir)[-1]), shown, "the newest safety copy holds the wiped log")

        for twice in range(2):
            self.run_command(program, "file " + backup, "trigger Restoredatabase1")
            self.settle(program)
            self.assertEqual(self.summary(), shown, "restore %d of the backup" % twice)

        # Sources that cannot be restored leave the log as it is.
        with open(os.path.join(self.dir, "notes.txt"), "w") as f:
            f.write("flights\n")
        long_time = os.path.join(self.dir, "long.dbf")
        write_log_table(long_time, [dict(flight(5, 5), TAKEOFFT="10:45:00")],
                        fields=[("TakeoffD", "D", 8), ("TakeoffT", "C", 10)])
        with open(self.table, "rb") as f:
            before = f.read()
        for source, reason in (("notes.txt", "Not a table file"), ("missing.dbf", "Cannot open file"),
                               ("long.dbf", "row 1, field TAKEOFFT")):
            path = os.path.join(self.dir, source)
            self.run_command(program, "file " + path, "trigger Restoredatabase1",
                             message="Cannot restore from %s: %s" % (path, reason))
            with open(self.table, "rb") as f:
                self.assertEqual(f.read(), before, source)

        # Three columns of a table another program wrote fill the first three fields.
        import shapefile
        foreign = os.path.join(self.dir, "foreign.dbf")
        with open(foreign, "wb") as dbf:
            writer = shapefile.Writer(dbf=dbf, encoding="cp850")
            writer.field("DAY", "D")
            writer.field("AT", "C", size=5)
            writer.field("MINUTES", "N", size=9, decimal=0)
            writer.record(datetime.date(2026, 4, 1), "7:15", 45)
            writer.record(datetime.date(2026, 4, 2), "8:30", 50)
            writer.close()
        for twice in range(2):
            self.run_command(program, "file " + foreign, "trigger Restoredatabase1")
            self.settle(program)
            if twice == 0:
                self.assertEqual(self.summary(safety_copies(self.dir)[-1]), shown,
                                 "the newest safety copy holds the log the restore replaced")
        restored = self.read()
        self.assertEqual([(r["TAKEOFFD"], r["TAKEOFFT"], r["FLIGHTTIME"], r["MAXALT"], r["COMMENT"]) for r in restored],
                         [(datetime.date(2026, 4, 1), "7:15", 45, None, ""),
                          (datetime.date(2026, 4, 2), "8:30", 50, None, "")], "no duplicates, the rest empty")
        leftovers = [n for n in os.listdir(self.dir) if n.startswith(".")]
        self.assertEqual(leftovers, [], "no temporary file stays behind")
        self.stop_program(program)

    def test_the_key_dialog_sends_the_typed_serial_in_capitals(self):
        flights = season(2)
        path = os.path.join(self.dir, "key-flights.txt")
        write_flights(path, flights)
        keys = os.path.join(self.dir, "keys.txt")
        sim = self.start_sim(["--type", "K", "--identity", "EA15", "--flights", path, "--key-log", keys])
        write_settings(self.dir, com1=sim.pty)
        program = self.start_program(control=True)
        self.assertIsNotNone(program.wait_status("Connected to download device type 2 EA15", prefix=True),
                             self.explain(program, sim))
        self.run_command(program, "trigger Initializedownloadkey1", "type Form5/Edit1 fa33")
        deadline = time.monotonic() + START_TIMEOUT
        sent = ""
        while time.monotonic() < deadline and "KEYINIT" not in sent:
            time.sleep(0.1)
            if os.path.exists(keys):
                with open(keys) as f:
                    sent = f.read()
        self.assertIn("KEYINIT FA33", sent, self.explain(program, sim))
        self.stop_program(program, sim)


if __name__ == "__main__":
    unittest.main()
