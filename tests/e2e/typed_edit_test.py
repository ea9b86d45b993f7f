"""What the user typed into the record panels, through the whole program: the
real cvlog worked through its menus (CVLOG_TEST_CONTROL), the comment typed
into the first panel and never posted by hand, the log and its copies read
back with dbfread. Run one case with: typed_edit_test.py TypedEditTest.test_...
"""
import datetime
import os
import re
import shutil
import stat
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_support import (START_TIMEOUT, STOP_TIMEOUT, DownloadCase, header_count,  # noqa: E402
                         required_path, write_log_table, write_settings)

CAPTION = "Varnok Zozivura Corvane Flight Log version 1.5"
MESSAGE = re.compile(r"^CVLOG MESSAGE \[(\w+)\] [^:]*: (.*)$")
SAFETY_COPY = re.compile(r"^CVLog-(\d{8})-(\d{6})(?:-(\d+))?\.bak$", re.IGNORECASE)
NOBODY = 65534


def flight(day, minutes):
    return {"TAKEOFFD": datetime.date(2026, 3, day), "TAKEOFFT": "9:%02d" % day, "FLIGHTTIME": minutes,
            "MAXALT": 1000, "MAXSPD": 90, "STUDENT": 1, "HOBBS": 100 * day, "INSTRUMENT": "EA15",
            "COMMENT": ""}


class TypedEditTest(DownloadCase):

    def setUp(self):
        super().setUp()
        self.table = os.path.join(self.dir, "CVLog.dbf")

    def start(self, rows=None, as_nobody=False):
        if rows is not None:
            write_log_table(self.table, rows)
        write_settings(self.dir, com1="/dev/null-no-port")
        env = {}
        if as_nobody:
            # The program keeps its files beside its executable: the copy runs
            # behind a script that drops to an ordinary user, who may write
            # the folder and the table but not the settings.
            shutil.copy2(required_path("CVLOG_E2E_PROGRAM"), os.path.join(self.dir, "cvlog-bin"))
            with open(os.path.join(self.dir, "cvlog"), "w") as f:
                f.write('#!/bin/sh\nexec setpriv --reuid=%d --regid=%d --clear-groups "$(dirname "$0")/cvlog-bin"\n'
                        % (NOBODY, NOBODY))
            os.chmod(os.path.join(self.dir, "cvlog"), 0o755)
            for path in (self.dir, self.table):
                os.chown(path, NOBODY, NOBODY)
            os.chmod(os.path.join(self.dir, "CVLog.ini"), stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
            env["HOME"] = self.dir
        program = self.start_program(extra_env=env, control=True)
        self.assertIsNotNone(program.wait_line(lambda l: l.startswith("CVLOG STATUS")), program.output.text())
        return program

    def send(self, program, *lines):
        for line in lines:
            self.assertIsNotNone(program.command(line), "%s\n%s" % (line, program.output.text()))
        # Everything sent is carried out once a later command is taken.
        self.assertIsNotNone(program.command("sync"), program.output.text())

    def messages(self, program, since=0):
        return [m.groups() for m in map(MESSAGE.match, program.output.lines[since:]) if m]

    def comments(self, path=None):
        import dbfread
        table = dbfread.DBF(path or self.table, encoding="cp850", char_decode_errors="strict")
        return [{k.upper(): v for k, v in r.items()}["COMMENT"] for r in table]

    def newest_safety_copy(self):
        copies = sorted((m.group(1), m.group(2), int(m.group(3) or 1), n) for n in os.listdir(self.dir)
                        for m in [SAFETY_COPY.match(n)] if m)
        return os.path.join(self.dir, copies[-1][-1])

    def ended(self, program):
        try:
            return program.process.wait(STOP_TIMEOUT)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end\n" + program.output.text())

    def test_every_command_keeps_a_typed_comment(self):
        program = self.start([flight(1, 60), flight(2, 90)])
        backup = os.path.join(self.dir, "backup.dbf")
        self.send(program, "type DBEdit5 backup", "file " + backup, "trigger N1")
        self.assertEqual(self.comments(backup), ["backup", ""], "the backup holds the typed comment")

        self.send(program, "type DBEdit5 compact", "trigger Compactdatabse1")
        self.assertIn("compact", self.comments()[0])

        self.send(program, "type DBEdit5 restore", "file " + backup, "trigger Restoredatabase1")
        self.assertIn("restore", self.comments(self.newest_safety_copy())[0],
                      "the safety copy of the replaced log holds the typed comment")
        self.assertEqual(self.comments(), ["backup", ""], "the restored log")

        self.send(program, "type DBEdit5 wipe", "answer yes", "answer yes", "trigger Wipedatabase1")
        # The questions run loops of their own, which take the sync before the wipe is done.
        deadline = time.monotonic() + START_TIMEOUT
        while os.path.getsize(self.table) != 322 and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertIn("wipe", self.comments(self.newest_safety_copy())[0])
        self.assertEqual(self.comments(), [])
        self.assertEqual([m for m in self.messages(program) if m[0] == "error"], [], program.output.text())
        self.stop_program(program)

        # File > Exit, closing the window and an ending signal.
        for ending in ("trigger Exit1", "close " + CAPTION, None):
            with self.subTest(ending=ending):
                program = self.start([flight(1, 60)])
                if ending is None:
                    self.send(program, "type DBEdit5 signal")
                    self.stop_program(program)
                else:
                    program.process.stdin.write(("type DBEdit5 ended\n%s\n" % ending).encode("utf-8"))
                    program.process.stdin.flush()
                    self.assertEqual(self.ended(program), 0, program.output.text())
                self.assertEqual(self.comments(), ["signal" if ending is None else "ended"])
                self.assertEqual(header_count(self.table), 1)

        # A value refused at Exit keeps the window open with the edit; a
        # signal then drops it and says so.
        program = self.start([flight(1, 60)])
        since = program.output.mark()
        self.send(program, "type DBEdit2 :30:", "type DBEdit5 kept?", "trigger Exit1")
        refused = [m for m in self.messages(program, since) if m[0] == "error"]
        self.assertEqual(len(refused), 1, program.output.text())
        self.assertRegex(refused[0][1], r"^'.*:30:.*' is not a valid duration for field 'FLIGHTTIME'$")
        self.assertTrue(program.running(), "the window stays open")
        self.send(program, "sync")
        self.stop_program(program)
        self.assertRegex(program.output.text(),
                         r"\nThe edit of the current row was dropped: '.*:30:.*' is not a valid duration")
        self.assertEqual(self.comments(), [""])

    def test_settings_that_cannot_be_written_are_said_once_and_the_program_ends(self):
        program = self.start([flight(1, 60)], as_nobody=True)
        with open(os.path.join(self.dir, "CVLog.ini"), "rb") as f:
            settings = f.read()
        program.process.stdin.write(b"type DBEdit5 read-only\ntrigger Exit1\n")
        program.process.stdin.flush()
        self.assertEqual(self.ended(program), 0, program.output.text())
        said = [m for m in self.messages(program) if m[0] == "error"]
        self.assertEqual(len(said), 1, program.output.text())
        self.assertTrue(said[0][1].startswith("Unable to write to ") and said[0][1].endswith("CVLog.ini."), said)
        self.assertEqual(self.comments(), ["read-only"], "the log was closed whole before")
        self.assertEqual(header_count(self.table), 1)
        with open(os.path.join(self.dir, "CVLog.ini"), "rb") as f:
            self.assertEqual(f.read(), settings)


if __name__ == "__main__":
    unittest.main()
