"""The printed report's page totals over a log with opening totals: the real
cvlog, its Setup menu worked through the control channel, the reports saved
from the print preview and by `cvlog report`, read back with pdftotext; and
the opening totals in `cvlog stats`.
Run the case with: page_totals_test.py PageTotalsTest.test_...
"""
import datetime
import os
import re
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from command_line_test import CommandLineTest  # noqa: E402
from e2e_support import DownloadCase, required_path, write_log_table  # noqa: E402
from output_test import FIRST_DAY, LOCALE_ENV, day_number, flights  # noqa: E402

TOTALS_LINE = re.compile(r"^\s*(Page total|Brought forward|Total to date)\s+(\d+):(\d\d)\s+(\d+) flights?\s+"
                         r"Hobbs (\d+):(\d\d)\s*$")
DETAIL_LINE = re.compile(r"^\s*\d\d/\d\d/\d{4}\s+\d+:\d\d\s")
OPENING = (100, 6000, 7000)  # flights, flight minutes, Hobbs minutes


def totals(rows):
    return (len(rows), sum(r["FLIGHTTIME"] for r in rows), sum(r["HOBBS"] for r in rows))


def add(a, b):
    return tuple(x + y for x, y in zip(a, b))


class PageTotalsTest(DownloadCase):
    # The command line's ways of running a command and of saving and reading
    # the report, without its own cases.
    run_command = CommandLineTest.run_command
    assert_exit = CommandLineTest.assert_exit
    read = CommandLineTest.read
    menu_file = CommandLineTest.menu_file
    menu_pdf = CommandLineTest.menu_pdf
    pdf_text = CommandLineTest.pdf_text

    def pages(self, name):
        """Per page: its detail lines and its three totals lines by label."""
        pages = []
        for page_text in self.pdf_text(name).split("\f"):
            if not page_text.strip():
                continue
            found = {}
            details = 0
            for line in page_text.splitlines():
                m = TOTALS_LINE.match(line)
                if m:
                    found[m.group(1)] = (int(m.group(4)), int(m.group(2)) * 60 + int(m.group(3)),
                                         int(m.group(5)) * 60 + int(m.group(6)))
                elif DETAIL_LINE.match(line):
                    details += 1
            pages.append((details, found))
        return pages

    def assert_pages_add_up(self, name, before, printed):
        """Page after page: brought forward is what came before, the page's
        total counts its own lines, and the last total to date is the whole."""
        pages = self.pages(name)
        self.assertEqual(len(pages), 3, name)
        carried = before
        for number, (details, found) in enumerate(pages, 1):
            where = "%s page %d" % (name, number)
            self.assertEqual(sorted(found), ["Brought forward", "Page total", "Total to date"], where)
            self.assertEqual(found["Brought forward"], carried, where)
            self.assertEqual(found["Page total"][0], details, where)
            carried = add(carried, found["Page total"])
            self.assertEqual(found["Total to date"], carried, where)
        self.assertEqual([d for d, _ in pages], [20, 21, len(printed) - 41], name)
        self.assertEqual(carried, add(before, totals(printed)), name)

    def test_page_totals_add_up_from_the_opening_totals_with_and_without_the_filter(self):
        rows = flights(45)
        period = (FIRST_DAY + datetime.timedelta(days=3), FIRST_DAY + datetime.timedelta(days=44))
        ini = os.path.join(self.dir, "CVLog.ini")
        with open(ini, "w") as f:
            f.write("[General]\nFromDate=%d\nToDate=%d\n[Ports]\nCOM1=/dev/null-no-port\n"
                    "[OpeningTotals]\nFlights=%d\nFlightMinutes=%d\nHobbsMinutes=%d\nDate=2025-12-31\n"
                    % ((day_number(period[0]), day_number(period[1])) + OPENING))
        write_log_table(os.path.join(self.dir, "CVLog.dbf"), rows)
        dates = ["--from", period[0].isoformat(), "--to", period[1].isoformat()]

        # Off, as it always was: no totals lines.
        shutil.copy2(required_path("CVLOG_E2E_PROGRAM"), os.path.join(self.dir, "cvlog"))
        self.assert_exit(self.run_command("report", "--pdf", os.path.join(self.dir, "off.pdf")), 0)
        self.assertNotIn("Page total", self.pdf_text("off.pdf"))

        # On from the Setup menu, kept at once; the preview's PDF of every
        # flight, then of the filter's period.
        window = self.start_program(LOCALE_ENV, control=True)
        self.assertIsNotNone(window.wait_line(lambda l: l.startswith("CVLOG STATUS")), window.output.text())
        self.assertIsNotNone(window.command("trigger Pagetotals1"))
        self.wait_until(lambda: "PageTotals=1" in open(ini).read(), window, "PageTotals not kept")
        self.menu_pdf(window, "menu-all.pdf")
        self.assertIsNotNone(window.command("click CheckBox1"))
        self.menu_pdf(window, "menu-period.pdf")
        self.stop_program(window)

        # Every flight brings forward only the opening totals; the period also
        # the three flights before it.
        self.assert_pages_add_up("menu-all.pdf", OPENING, rows)
        self.assert_pages_add_up("menu-period.pdf", add(OPENING, totals(rows[:3])), rows[3:])

        # The command writes what the menu wrote.
        for arguments, reference in [([], "menu-all.pdf"), (dates, "menu-period.pdf")]:
            self.assert_exit(self.run_command("report", "--pdf", os.path.join(self.dir, "cli.pdf"), *arguments), 0)
            self.assertEqual(self.pdf_text("cli.pdf"), self.pdf_text(reference), reference)

        # The whole log's statistics name the opening totals on a line of
        # their own; a period's do not, and recent flying never counts them.
        whole = self.run_command("stats")
        self.assert_exit(whole, 0)
        self.assertIn("\nBefore the log, at 31/12/2025\t100 flights, 100:00 flight time, 116:40 Hobbs\n",
                      whole.stdout)
        self.assertRegex(whole.stdout, r"\nFlights\t45\n")
        period_stats = self.run_command("stats", *dates)
        self.assert_exit(period_stats, 0)
        self.assertNotIn("Before the log", period_stats.stdout)


if __name__ == "__main__":
    unittest.main()
