"""The statistics window of the whole program on a real X server (Xvfb): the
tables copied to the clipboard are read back with xclip, the chart saved as a
PNG is read back from its header. Run with: statistics_test.py StatisticsTest.test_...
"""
import datetime
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_support import START_TIMEOUT, DownloadCase, write_log_table, write_settings  # noqa: E402

STATISTICS = re.compile(r"^CVLOG STATISTICS (.*)$")


class XServer:
    """A virtual X server of the test's own, on the first free display."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x900x24",
                                         "-nolisten", "tcp"], pass_fds=(write_end,),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            self.display = ":" + f.readline().strip()

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    return struct.unpack(">II", head[16:24])


class StatisticsTest(DownloadCase):

    def test_the_copied_tables_and_the_saved_chart_come_out_of_the_program(self):
        for tool in ("Xvfb", "xclip"):
            if shutil.which(tool) is None:
                self.skipTest(tool + " is not installed")
        server = XServer()
        self.addCleanup(server.stop)

        today = datetime.date.today()
        rows = [
            {"TAKEOFFD": today, "TAKEOFFT": "9:05", "FLIGHTTIME": 90, "MAXALT": 3500, "MAXSPD": 110,
             "INSTRUMENT": "EA15"},
            {"TAKEOFFD": today - datetime.timedelta(days=100), "TAKEOFFT": "10:00", "FLIGHTTIME": 45,
             "MAXALT": 1200, "MAXSPD": 95, "INSTRUMENT": "F942"},
            {"TAKEOFFD": None, "TAKEOFFT": "", "FLIGHTTIME": 30, "INSTRUMENT": "EA15"},
        ]
        write_log_table(os.path.join(self.dir, "CVLog.dbf"), rows)
        write_settings(self.dir, com1="/dev/null-no-port")
        environment = {"QT_QPA_PLATFORM": "xcb", "DISPLAY": server.display}
        # The X keyboard library reads its strings with strndup, which the
        # sanitizer's strict string checks take for an overflow.
        if "ASAN_OPTIONS" in os.environ:
            environment["ASAN_OPTIONS"] = os.environ["ASAN_OPTIONS"].replace(
                "strict_string_checks=1", "strict_string_checks=0")
        program = self.start_program(environment, control=True)
        self.assertIsNotNone(program.wait_line(lambda l: l.startswith("CVLOG STATUS")), program.output.text())

        since = program.output.mark()
        program.command("trigger Statistics1")
        shown = program.wait_line(lambda l: l.startswith("CVLOG STATISTICS "), since=since)
        self.assertIsNotNone(shown, program.output.text())
        self.assertEqual(STATISTICS.match(program.output.lines[shown]).group(1),
                         "All flights: flights=3 minutes=165")

        program.command("trigger Statistics/Copy1")
        program.command("sync")
        copied = ""
        deadline = time.monotonic() + START_TIMEOUT
        while "Flights" not in copied and time.monotonic() < deadline:
            result = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=dict(os.environ,
                                    DISPLAY=server.display), capture_output=True, text=True, timeout=10)
            copied = result.stdout
            time.sleep(0.1)
        lines = copied.split("\n")
        self.assertEqual(lines[0], "All flights", copied)
        for expected in ("Flights\t3", "Total flight time\t2:45", "Longest flight time\t1:30",
                         "Flights without a take-off date\t1", "EA15\t2\t2:00", "F942\t1\t0:45"):
            self.assertIn(expected, lines, copied)
        self.assertTrue(any(re.match(r"Last 90 days\t1\t1:30$", l) for l in lines), copied)
        self.assertTrue(any(re.match(r"Last 12 months\t2\t2:15$", l) for l in lines), copied)

        chart = os.path.join(self.dir, "chart.png")
        program.command("file " + chart)
        program.command("trigger Statistics/SaveChart1")
        deadline = time.monotonic() + START_TIMEOUT
        while not os.path.exists(chart) and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertTrue(os.path.exists(chart), program.output.text())
        width, height = png_size(chart)
        self.assertGreaterEqual(width, 400)
        self.assertGreaterEqual(height, 200)
        self.stop_program(program)


if __name__ == "__main__":
    unittest.main()
