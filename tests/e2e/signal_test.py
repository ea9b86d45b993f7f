"""An ending signal ends the whole program at any moment: while a message box,
a dialog or a file dialog waits for a user who is not there, the shutdown runs
as closing the window would, and the program is gone within two seconds.
Run one case with: signal_test.py SignalTest.test_...
"""
import os
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_support import STOP_TIMEOUT, DownloadCase, catches_signal, write_log_table, write_settings  # noqa: E402

ROWS = [{"TAKEOFFD": None, "TAKEOFFT": "9:05", "FLIGHTTIME": 60 + i, "COMMENT": "row %d" % i} for i in range(3)]
# Sanitizer builds start and stop slowly; the bound is for the build a pilot runs.
SECONDS = 2.0 * float(os.environ.get("CVLOG_E2E_SLOWNESS", "1"))


class SignalTest(DownloadCase):

    def start(self, com1, table=None):
        path = os.path.join(self.dir, "CVLog.dbf")
        if table is None:
            write_log_table(path, ROWS)
        else:
            with open(path, "wb") as f:
                f.write(table)
        write_settings(self.dir, com1=com1)
        # No CVLOG_AUTOCLOSE_MESSAGES: every box stays up until it is answered.
        program = self.start_program({"CVLOG_AUTOCLOSE_MESSAGES": "0"}, control=True)
        return program

    def pty(self):
        master, slave = os.openpty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)
        return os.ttyname(slave)

    def wait_open(self, program, text):
        found = program.wait_line(lambda l: l.startswith("CVLOG OPEN ") and text in l)
        self.assertIsNotNone(found, "%r never opened\n%s" % (text, program.output.text()))

    def end_with_signal(self, program, number=signal.SIGTERM):
        deadline = time.monotonic() + 30
        while not catches_signal(program.process.pid, number) and time.monotonic() < deadline:
            time.sleep(0.05)
        started = time.monotonic()
        program.process.send_signal(number)
        code = program.process.wait(STOP_TIMEOUT)
        took = time.monotonic() - started
        program.kill()
        self.assertEqual(code, 0, program.output.text())
        self.assertLess(took, SECONDS, "took %.2f s" % took)
        self.assertTrue(os.path.exists(os.path.join(self.dir, "CVLog.ini")), "settings written")

    def assert_table_closed_normally(self):
        with open(os.path.join(self.dir, "CVLog.dbf"), "rb") as f:
            data = f.read()
        self.assertEqual(len(data), 321 + len(ROWS) * 127 + 1)
        self.assertEqual(int.from_bytes(data[4:8], "little"), len(ROWS))
        self.assertEqual(data[-1:], b"\x1a")

    def test_the_start_up_error_box_of_an_unreadable_table(self):
        garbage = b"this is not a table, just some text\r\n" * 3
        program = self.start(self.pty(), table=garbage)
        self.wait_open(program, "[error]")
        self.end_with_signal(program)
        with open(os.path.join(self.dir, "CVLog.dbf"), "rb") as f:
            self.assertEqual(f.read(), garbage, "a refused table is never written")

    def test_the_port_not_available_message(self):
        program = self.start("/dev/null-no-port")
        self.wait_open(program, "is not available")
        self.end_with_signal(program, signal.SIGHUP)
        self.assert_table_closed_normally()

    def test_the_port_dialog(self):
        program = self.start(self.pty())
        self.assertIsNotNone(program.wait_status("Not Connected, attempting COM1"), program.output.text())
        program.command("trigger Communicationsport1")
        self.wait_open(program, "Communications port selection")
        self.end_with_signal(program, signal.SIGINT)
        self.assert_table_closed_normally()

    def test_a_file_dialog(self):
        program = self.start(self.pty())
        self.assertIsNotNone(program.wait_status("Not Connected, attempting COM1"), program.output.text())
        program.command("trigger N1")
        self.wait_open(program, "Select name of database to save to")
        self.end_with_signal(program)
        self.assert_table_closed_normally()

    def test_the_print_preview(self):
        program = self.start(self.pty())
        self.assertIsNotNone(program.wait_status("Not Connected, attempting COM1"), program.output.text())
        program.command("trigger Print1")
        self.assertIsNotNone(program.wait_line(lambda l: l.startswith("CVLOG REPORT ")), program.output.text())
        self.end_with_signal(program)
        self.assert_table_closed_normally()


if __name__ == "__main__":
    unittest.main()
