"""Getting flights out of the whole program: the real cvlog over a table of
known flights, worked through its menus (CVLOG_TEST_CONTROL), the exports read
back line by line and the report's PDF read with pdftotext and pdfinfo.
Run one case with: output_test.py OutputTest.test_...
"""
import datetime
import os
import re
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_support import START_TIMEOUT, DownloadCase, write_log_table  # noqa: E402

MARGIN_MM = 12.7
POINTS_PER_MM = 72 / 25.4
# The first word of each column caption and where the captions begin.
COLUMNS_MM = {"Take": [0.0, 23.3], "Flight": [46.6], "Altitude": [69.8], "Speed": [86.8], "Hobbs": [103.7],
              "Student": [118.5], "Instrument": [137.6]}
FIRST_DAY = datetime.date(2026, 1, 5)
# en_GB: the short date format is dd/MM/yyyy.
LOCALE_ENV = {"LC_ALL": "en_GB.UTF-8", "LANG": "en_GB.UTF-8"}


def day_number(date):
    return (date - datetime.date(1899, 12, 30)).days


def flights(count):
    """Flights of 60 minutes a day apart; every fifth has a comment with a
    comma, the student values cycle through 0, 1 and 2."""
    rows = []
    for i in range(count):
        rows.append({"TAKEOFFD": FIRST_DAY + datetime.timedelta(days=i), "TAKEOFFT": "%d:%02d" % (6 + i % 12, i),
                     "FLIGHTTIME": 60, "MAXALT": 1000 + 37 * i, "MAXSPD": 80 + i, "STUDENT": i % 3,
                     "HOBBS": 18725 + 70 * i, "INSTRUMENT": "EA15",
                     "COMMENT": "leg %d, solo" % i if i % 5 == 0 else ""})
    return rows


def hours_minutes(minutes):
    return "%d:%02d" % (minutes // 60, minutes % 60)


def export_line(row, separator):
    values = [row["TAKEOFFD"].strftime("%d/%m/%Y"), row["TAKEOFFT"], hours_minutes(row["FLIGHTTIME"]),
              str(row["MAXALT"]), str(row["MAXSPD"]), str(row["STUDENT"]), hours_minutes(row["HOBBS"]),
              row["INSTRUMENT"], row["COMMENT"]]
    return separator.join(values) + "\r\n"


class OutputTest(DownloadCase):

    def start(self, rows, from_date, to_date, extra_ini=""):
        write_log_table(os.path.join(self.dir, "CVLog.dbf"), rows)
        with open(os.path.join(self.dir, "CVLog.ini"), "w") as f:
            f.write("[General]\nFromDate=%d\nToDate=%d\n%s[Ports]\nCOM1=/dev/null-no-port\n"
                    % (day_number(from_date), day_number(to_date), extra_ini))
        program = self.start_program(LOCALE_ENV, control=True)
        self.assertIsNotNone(program.wait_line(lambda l: l.startswith("CVLOG STATUS")), program.output.text())
        return program

    def command(self, program, line):
        self.assertIsNotNone(program.command(line), "command not taken: %s\n%s" % (line, program.output.text()))

    def wait_file(self, path, program):
        deadline = time.monotonic() + START_TIMEOUT
        while not os.path.exists(path) and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertTrue(os.path.exists(path), "%s not written\n%s" % (path, program.output.text()))
        with open(path, "rb") as f:
            return f.read()

    def export(self, program, item, name):
        path = os.path.join(self.dir, name)
        self.command(program, "file " + path)
        self.command(program, "trigger " + item)
        return self.wait_file(path, program).decode("utf-8")

    def save_pdf(self, program, name):
        """Opens the preview, saves its PDF and closes it; returns the path and
        the report trace of the preview and of the PDF."""
        since = program.output.mark()
        self.command(program, "trigger Print1")
        shown = program.wait_line(lambda l: l.startswith("CVLOG REPORT "), since=since)
        self.assertIsNotNone(shown, program.output.text())
        path = os.path.join(self.dir, name)
        self.command(program, "file " + path)
        self.command(program, "trigger SavePdf1")
        self.wait_file(path, program)
        self.command(program, "close Corvane Log")
        reports = program.output.matching(re.compile(r"^CVLOG REPORT (.*)$"), since)
        return path, reports

    def pdf_pages(self, path):
        info = subprocess.run(["pdfinfo", path], capture_output=True, text=True, check=True).stdout
        self.assertRegex(info, r"Title:\s+Corvane Log")
        self.assertRegex(info, r"Page size:\s+595(\.\d+)? x 842(\.\d+)? pts \(A4\)")
        pages = int(re.search(r"Pages:\s+(\d+)", info).group(1))
        texts = []
        for page in range(1, pages + 1):
            texts.append(subprocess.run(["pdftotext", "-layout", "-f", str(page), "-l", str(page), path, "-"],
                                        capture_output=True, text=True, check=True).stdout)
        return texts

    def word_boxes(self, path):
        """(page, word, left in mm) of every word."""
        html = subprocess.run(["pdftotext", "-bbox", path, "-"], capture_output=True, text=True, check=True).stdout
        boxes = []
        page = 0
        for line in html.splitlines():
            if "<page " in line:
                page += 1
            m = re.search(r'<word xMin="([\d.]+)" yMin="([\d.]+)"[^>]*>([^<]*)</word>', line)
            if m:
                boxes.append((page, m.group(3), float(m.group(1)) / POINTS_PER_MM, float(m.group(2)) / POINTS_PER_MM))
        return boxes

    def test_exports_and_the_report_hold_the_flights_the_window_shows(self):
        rows = flights(45)
        period = (FIRST_DAY + datetime.timedelta(days=10), FIRST_DAY + datetime.timedelta(days=14))
        program = self.start(rows, *period)

        # Every flight, in both separators.
        self.assertEqual(self.export(program, "Saveascommadelimitedtextfile1", "all.txt"),
                         "".join(export_line(r, ",") for r in rows))
        self.assertEqual(self.export(program, "SaveasTextfile1", "all-spaces.txt"),
                         "".join(export_line(r, " ") for r in rows))

        # The report of every flight: three pages, 45:00 on the last.
        path, reports = self.save_pdf(program, "all.pdf")
        self.assertEqual(reports, ["pages=3 flights=45 total=45:00"] * 2, "preview and PDF alike")
        _, again = self.save_pdf(program, "again.pdf")
        self.assertEqual(again, reports, "a second preview shows the same total")
        pages = self.pdf_pages(path)
        self.assertEqual(len(pages), 3)
        period_text = "This report is for the period of %s to %s" % tuple(d.strftime("%d/%m/%Y") for d in period)
        for number, text in enumerate(pages, 1):
            self.assertIn("Take off date", text)
            self.assertIn(period_text, text, "the pickers' period even with the filter off")
            self.assertRegex(text, r"Page\s*%d\s*$" % number)
        self.assertIn("Varnok Zozivura - Corvane Log", pages[0])
        self.assertNotIn("Varnok Zozivura", pages[1])
        self.assertRegex(pages[2], r"Total time for period\s+45:00")
        self.assertIn("leg 5, solo", pages[0])
        first_line = re.search(r"^\s*05/01/2026\s.*$", pages[0], re.M).group(0).split()
        self.assertEqual(first_line, ["05/01/2026", "6:00", "1:00", "1000", "80", "312:05", "EA15"],
                         "student 0 prints nothing")

        boxes = self.word_boxes(path)
        for number in range(1, 4):
            for word, expected in COLUMNS_MM.items():
                lefts = sorted(x for page, w, x, y in boxes if page == number and w == word and y < 40)
                self.assertEqual(len(lefts), len(expected), (number, word))
                for x, left in zip(lefts, expected):
                    self.assertAlmostEqual(x, MARGIN_MM + left, delta=1.0, msg=(number, word))
        comment = [(x, y) for page, word, x, y in boxes if word == "leg" and page == 1][0]
        self.assertAlmostEqual(comment[0], MARGIN_MM + 46.6, delta=1.0, msg="comment under the flight time")

        # Hour fractions as decimals: the same report, 45.00.
        self.command(program, "trigger bHourfractionsaredecimals1")
        path, reports = self.save_pdf(program, "decimal.pdf")
        self.assertEqual(reports, ["pages=3 flights=45 total=45.00"] * 2)
        self.assertRegex(self.pdf_pages(path)[2], r"Total time for period\s+45\.00")

        # The filter on: the flights of the period, both ends included.
        self.command(program, "click CheckBox1")
        chosen = rows[10:15]
        self.assertEqual(self.export(program, "Saveascommadelimitedtextfile1", "period.txt"),
                         "".join(export_line(r, ",") for r in chosen))
        path, reports = self.save_pdf(program, "period.pdf")
        self.assertEqual(reports, ["pages=1 flights=5 total=5.00"] * 2)
        text = self.pdf_pages(path)[0]
        self.assertIn("15/01/2026", text)
        self.assertIn("19/01/2026", text)
        self.assertNotIn("14/01/2026", text)
        self.stop_program(program)

    def test_an_empty_period_and_a_failed_export(self):
        program = self.start(flights(3), datetime.date(2020, 1, 1), datetime.date(2020, 1, 2))
        self.command(program, "click CheckBox1")
        self.assertEqual(self.export(program, "SaveasTextfile1", "none.txt"), "")
        path, reports = self.save_pdf(program, "none.pdf")
        self.assertEqual(reports, ["pages=1 flights=0 total=0:00"] * 2)
        text = self.pdf_pages(path)[0]
        self.assertIn("Take off date", text)
        self.assertIn("Page", text)
        self.assertNotIn("Total time for period", text)

        # A folder that does not exist: the error box names it, nothing is left behind.
        since = program.output.mark()
        missing = os.path.join(self.dir, "missing", "out.txt")
        self.command(program, "file " + missing)
        self.command(program, "trigger SaveasTextfile1")
        self.assertIsNotNone(program.wait_line(lambda l: "CVLOG MESSAGE [error]" in l and "File not found." in l,
                                               since=since), program.output.text())
        self.assertFalse(os.path.exists(os.path.dirname(missing)))
        self.stop_program(program)

    def test_an_ending_signal_while_the_preview_is_open_ends_the_program(self):
        program = self.start(flights(30), FIRST_DAY, FIRST_DAY)
        since = program.output.mark()
        self.command(program, "trigger Print1")
        self.assertIsNotNone(program.wait_line(lambda l: l.startswith("CVLOG REPORT "), since=since))
        started = time.monotonic()
        self.stop_program(program)
        self.assertLess(time.monotonic() - started, 2.0 + 5.0, "ends promptly (sanitizer builds are slower)")
        with open(os.path.join(self.dir, "CVLog.dbf"), "rb") as f:
            data = f.read()
        self.assertEqual(len(data), 321 + 30 * 127 + 1)


if __name__ == "__main__":
    unittest.main()
