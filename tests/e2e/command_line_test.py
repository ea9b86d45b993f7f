"""The commands for scripts (cvlog export|report|backup|restore|stats) against
the menus: the window writes the reference files through its control channel,
then the same program run as a command, with no display, must write the same
bytes, say the same texts and exit 0, 1 or 2.
Run one case with: command_line_test.py CommandLineTest.test_...
"""
import array
import datetime
import fcntl
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import termios
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_support import START_TIMEOUT, DownloadCase, required_path, safety_copies, write_log_table  # noqa: E402
from output_test import FIRST_DAY, LOCALE_ENV, day_number, flights  # noqa: E402

# The report names the moment it was printed; two reports a few seconds
# apart differ only there.
PRINTED_AT = re.compile(r"\d\d/\d\d/\d{4} \d\d:\d\d:\d\d")
SAVED_TO_ITSELF = "cvlog: File cannot be saved to itself, please choose a new name."


def pending_bytes(pipe):
    count = array.array("i", [0])
    fcntl.ioctl(pipe.fileno(), termios.FIONREAD, count)
    return count[0]


class CommandLineTest(DownloadCase):

    def run_command(self, *arguments, extra_env=None, stdout=subprocess.PIPE):
        """The program as a script runs it: no display, no control channel."""
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        env.update(LOCALE_ENV)
        env.update(extra_env or {})
        suppressions = os.environ.get("CVLOG_E2E_LSAN_SUPPRESSIONS")
        if suppressions and "LSAN_OPTIONS" not in env:
            env["LSAN_OPTIONS"] = "suppressions=" + suppressions
        return subprocess.run([os.path.join(self.dir, "cvlog")] + list(arguments), cwd="/", env=env,
                              stdout=stdout, stderr=subprocess.PIPE, text=True, timeout=START_TIMEOUT)

    def assert_exit(self, result, status, stderr=None):
        self.assertEqual(result.returncode, status, result.stderr)
        if stderr is not None:
            self.assertIn(stderr, result.stderr)

    def read(self, name):
        with open(os.path.join(self.dir, name), "rb") as f:
            return f.read()

    def menu_file(self, program, item, name):
        path = os.path.join(self.dir, name)
        self.assertIsNotNone(program.command("file " + path))
        self.assertIsNotNone(program.command("trigger " + item))
        self.wait_until(lambda: os.path.exists(path), program, name + " not written")
        return self.read(name)

    def menu_pdf(self, program, name):
        since = program.output.mark()
        self.assertIsNotNone(program.command("trigger Print1"))
        self.assertIsNotNone(program.wait_line(lambda l: l.startswith("CVLOG REPORT "), since=since))
        self.menu_file(program, "SavePdf1", name)
        self.assertIsNotNone(program.command("close Corvane Log"))

    def pdf_text(self, name):
        text = subprocess.run(["pdftotext", "-layout", os.path.join(self.dir, name), "-"], capture_output=True,
                              text=True, check=True).stdout
        return PRINTED_AT.sub("<printed at>", text)

    def test_each_command_writes_what_its_menu_writes_beside_the_window_and_without_it(self):
        rows = flights(45)
        period = (FIRST_DAY + datetime.timedelta(days=10), FIRST_DAY + datetime.timedelta(days=14))
        write_log_table(os.path.join(self.dir, "CVLog.dbf"), rows)
        with open(os.path.join(self.dir, "CVLog.ini"), "w") as f:
            f.write("[General]\nFromDate=%d\nToDate=%d\n[Ports]\nCOM1=/dev/null-no-port\n"
                    % tuple(day_number(d) for d in period))
        window = self.start_program(LOCALE_ENV, control=True)
        self.assertIsNotNone(window.wait_line(lambda l: l.startswith("CVLOG STATUS")), window.output.text())

        # The references, through the menus: every flight, then the period.
        self.menu_file(window, "Saveascommadelimitedtextfile1", "menu-all.csv")
        self.menu_file(window, "SaveasTextfile1", "menu-all.txt")
        self.menu_pdf(window, "menu-all.pdf")
        self.menu_file(window, "N1", "menu-backup.dbf")
        self.assertIsNotNone(window.command("click CheckBox1"))
        self.menu_file(window, "Saveascommadelimitedtextfile1", "menu-period.csv")
        self.menu_pdf(window, "menu-period.pdf")
        log = self.read("CVLog.dbf")

        # Beside the window: a command that reads runs, restore is refused.
        dates = ["--from", period[0].isoformat(), "--to", period[1].isoformat()]
        self.assert_exit(self.run_command("export", "--csv", os.path.join(self.dir, "beside.csv")), 0)
        self.assertEqual(self.read("beside.csv"), self.read("menu-all.csv"))
        self.assert_exit(self.run_command("backup", os.path.join(self.dir, "beside.dbf")), 0)
        self.assertEqual(self.read("beside.dbf"), self.read("menu-backup.dbf"))
        self.assert_exit(self.run_command("restore", os.path.join(self.dir, "menu-backup.dbf")), 1,
                         "cvlog: The log is open in the window. Close the window to restore the database.")
        self.stop_program(window)
        self.assertEqual(self.read("CVLog.dbf"), log)
        self.assertEqual(safety_copies(self.dir), [])

        # Without the window, the same bytes (the report's text but for the
        # moment it was printed).
        for arguments, written, reference in [(["export", "--csv"], "all.csv", "menu-all.csv"),
                                              (["export", "--text"], "all.txt", "menu-all.txt"),
                                              (["export", "--csv"], "period.csv", "menu-period.csv"),
                                              (["backup"], "backup.dbf", "menu-backup.dbf")]:
            more = dates if written.startswith("period") else []
            self.assert_exit(self.run_command(*arguments, os.path.join(self.dir, written), *more), 0)
            self.assertEqual(self.read(written), self.read(reference), written)
        for arguments, reference in [([], "menu-all.pdf"), (dates, "menu-period.pdf")]:
            self.assert_exit(self.run_command("report", "--pdf", os.path.join(self.dir, "cli.pdf"), *arguments), 0)
            self.assertEqual(self.pdf_text("cli.pdf"), self.pdf_text(reference), reference)

        # The statistics: the window's tables, and their figures as JSON.
        stats = self.run_command("stats")
        self.assert_exit(stats, 0)
        self.assertTrue(stats.stdout.startswith("All flights\n"), stats.stdout)
        self.assertRegex(stats.stdout, r"\nFlights\t45\n")
        figures = json.loads(self.run_command("stats", "--json", *dates).stdout)
        self.assertEqual(figures["period"], {"from": period[0].isoformat(), "to": period[1].isoformat()})
        self.assertEqual(figures["summary"]["flights"], 5)
        self.assertEqual(figures["summary"]["totalMinutes"], 300)
        self.assertEqual(figures["instruments"], [{"name": "EA15", "flights": 5, "minutes": 300}])

        # Refusals: the log's own files, a folder that is not there, a
        # damaged source; the log stays as it was.
        self.assert_exit(self.run_command("export", "--text", os.path.join(self.dir, "cvlog.DBF")), 1,
                         SAVED_TO_ITSELF)
        self.assert_exit(self.run_command("backup", os.path.join(self.dir, "CVLOG1.lock")), 1, SAVED_TO_ITSELF)
        self.assert_exit(self.run_command("report", "--pdf", os.path.join(self.dir, "no", "r.pdf")), 1,
                         "cvlog: File not found.")
        self.assertFalse(os.path.exists(os.path.join(self.dir, "no")))
        damaged = os.path.join(self.dir, "damaged.dbf")
        with open(damaged, "wb") as f:
            f.write(self.read("menu-backup.dbf")[:-200])
        self.assert_exit(self.run_command("restore", damaged), 1, "cvlog: Cannot restore from " + damaged)
        self.assert_exit(self.run_command("restore", os.path.join(self.dir, "CVLog.dbf")), 1,
                         "cvlog: File cannot be restored to itself, please choose a new name.")
        self.assertEqual(self.read("CVLog.dbf"), log)
        self.assertEqual(safety_copies(self.dir), [])

        # A restore that works keeps the log it replaces.
        write_log_table(os.path.join(self.dir, "three.dbf"), rows[:3])
        self.assert_exit(self.run_command("restore", os.path.join(self.dir, "three.dbf")), 0)
        self.assertEqual(len(safety_copies(self.dir)), 1)
        self.assertEqual(self.read(safety_copies(self.dir)[0]), log)
        self.assertEqual(json.loads(self.run_command("stats", "--json").stdout)["summary"]["flights"], 3)

        # Wrong usage: the message and the usage, status 2, nothing written.
        for arguments in [["export", "--csv"], ["export", "--pdf", "x"], ["report", "--pdf", "x", "--from", "5/1/2026"],
                          ["stats", "--to", "2026-02-30"], ["backup"], ["frobnicate"]]:
            result = self.run_command(*arguments)
            self.assert_exit(result, 2, "Usage: cvlog")
            self.assertTrue(result.stderr.startswith("cvlog: "), result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "x")))

    def test_a_command_that_fails_is_killed_or_cannot_answer_says_so_and_leaves_nothing(self):
        shutil.copy2(required_path("CVLOG_E2E_PROGRAM"), os.path.join(self.dir, "cvlog"))
        temp = os.path.join(self.dir, "tmp")
        os.mkdir(temp)
        runtime = os.path.join(self.dir, "run")
        os.mkdir(runtime, 0o700)
        for name, value in (("TMPDIR", temp), ("XDG_RUNTIME_DIR", runtime)):
            self.addCleanup(os.environ.__setitem__, name, os.environ[name]) if name in os.environ \
                else self.addCleanup(os.environ.pop, name)
            os.environ[name] = value

        # A restore into a data folder without a log: refused, and the folder
        # still has no log (not an empty one).
        empty = os.path.join(self.dir, "empty")
        os.mkdir(empty)
        damaged = os.path.join(self.dir, "damaged.dbf")
        write_log_table(damaged, flights(3))
        with open(damaged, "r+b") as f:
            f.truncate(os.path.getsize(damaged) - 100)
        self.assert_exit(self.run_command("--data-dir", empty, "restore", damaged), 1, "cvlog: Cannot restore from")
        self.assertNotIn("cvlog.dbf", [name.lower() for name in os.listdir(empty)])

        # A command killed while it writes out leaves no copy of the log in
        # the temporary folder: its output goes to a pipe nobody reads.
        rows = flights(1500)
        for i, row in enumerate(rows):
            row["INSTRUMENT"] = "%c%03d" % (ord("A") + i // 1000, i % 1000)
        write_log_table(os.path.join(self.dir, "CVLog.dbf"), rows)
        command = subprocess.Popen([os.path.join(self.dir, "cvlog"), "stats", "--json"], cwd="/",
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        try:
            # Full pipe: the command is blocked in its write, past its copy.
            capacity = fcntl.fcntl(command.stdout.fileno(), fcntl.F_GETPIPE_SZ)
            deadline = time.monotonic() + START_TIMEOUT
            while pending_bytes(command.stdout) < capacity:
                self.assertIsNone(command.poll(), "the command ended before filling its pipe")
                self.assertLess(time.monotonic(), deadline, "the command never filled its pipe")
                time.sleep(0.05)
        finally:
            command.kill()
            command.wait()
            command.stdout.close()
        self.assertEqual(os.listdir(temp), [])

        write_log_table(os.path.join(self.dir, "CVLog.dbf"), flights(3))
        # A display named but not there (ssh without forwarding, a desktop
        # session that ended): a command needs none and must not abort.
        for gone in [{"DISPLAY": ":97"}, {"WAYLAND_DISPLAY": "cvlog-no-such-display"}]:
            result = self.run_command("stats", "--json", extra_env=gone)
            self.assert_exit(result, 0)
            self.assertEqual(json.loads(result.stdout)["summary"]["flights"], 3)
        # A damaged log is read as far as it can be, and said to be damaged.
        with open(os.path.join(self.dir, "CVLog.dbf"), "r+b") as f:
            f.seek(4)
            f.write(struct.pack("<I", 60))
        result = self.run_command("stats", "--json")
        self.assert_exit(result, 0, "is damaged: its header counts 60 rows")
        self.assertEqual(json.loads(result.stdout)["summary"]["flights"], 3)
        # An answer lost on a full disk is a failure, never a success.
        with open("/dev/full", "w") as full:
            for arguments in [["stats"], ["stats", "--json"], ["--version"], ["--help"]]:
                result = self.run_command(*arguments, stdout=full)
                self.assertEqual(result.returncode, 1, arguments)
                self.assertTrue(result.stderr.startswith("cvlog: "), result.stderr)


if __name__ == "__main__":
    unittest.main()
