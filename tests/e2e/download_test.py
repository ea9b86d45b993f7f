"""Downloads through the whole program: cvlog against cvlog-sim, the table read
back with dbfread. Run one case with: download_test.py DownloadTest.test_...
"""
import datetime
import fcntl
import os
import shutil
import stat
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_support import (IDENTITY_AT_SEARCH_ADDRESS, DownloadCase, Flight, required_path,  # noqa: E402
                         season, slot_address, write_flights, write_log_table, write_settings)

# One flight per 200 ms tick at best, keep-alive polls in between; generous for
# the sanitizer builds on a shared machine.
SECONDS_PER_FLIGHT = 1.0
DOWNLOAD_MARGIN = 30.0

KITE_SERIAL = "F942"
VERSION = "V2.10"
KITE_CONNECTED = "Connected to Corvane Kite %s %s" % (KITE_SERIAL, VERSION)
NOT_AVAILABLE = "Not Connected, current port not available"
PORT_REFUSED_MESSAGE = ("The selected port COM1 is not available, please choose another if possible or free "
                        "this port if it is in use by another application.")


def download_timeout(flights):
    return DOWNLOAD_MARGIN + flights * SECONDS_PER_FLIGHT


class DownloadTest(DownloadCase):

    def kite(self, flights, *extra, name="sim"):
        path = os.path.join(self.dir, name + "-flights.txt")
        write_flights(path, flights)
        return self.start_sim(["--type", "F", "--serial", KITE_SERIAL, "--verbose", "--flights", path] + list(extra),
                              name)

    def download(self, sim, flights_held, last_read, connected=KITE_CONNECTED, extra_env=None, com1=True):
        """Runs the program until the download that ends at `last_read` is over
        and shuts it down; returns the program for further checks."""
        if com1:
            write_settings(self.dir, com1=sim.pty)
        program = self.start_program(extra_env)
        self.assertIsNotNone(program.wait_status(connected), "no link\n" + self.explain(program, sim))
        end = program.wait_download_end(last_read, download_timeout(flights_held))
        self.assertIsNotNone(end, "download did not end at %04X\n%s" % (last_read, self.explain(program, sim)))
        self.assertTrue(program.running(), self.explain(program, sim))
        self.stop_program(program, sim)
        # The simulator is verbose: it names every frame it could not take.
        for complaint in ("dropped bad frame", "unknown command"):
            self.assertNotIn(complaint, sim.stderr_text())
        return program

    def assert_in_order_flown(self, rows, flights, instrument, first_row=0):
        """Rows from `first_row` on hold `flights` oldest first: the walk reads
        the log memory backwards, and a whole download is written in the order
        flown."""
        for offset, flight in enumerate(flights):
            self.assert_row(rows[first_row + offset], flight, instrument, "row %d" % (first_row + offset))

    def statuses_before_link(self, program):
        statuses = program.statuses()
        connected = [i for i, text in enumerate(statuses) if text.startswith("Connected to ")]
        self.assertTrue(connected, statuses)
        self.assertGreater(connected[0], 0, statuses)
        return statuses[:connected[0]]

    def test_forty_flights_download_into_the_table(self):
        flights = season(40)
        sim = self.kite(flights)
        program = self.download(sim, 40, slot_address(-1))

        rows = self.read_rows()
        self.assertEqual(len(rows), 40)
        self.assert_in_order_flown(rows, flights, KITE_SERIAL)
        self.assert_table_file(40)

        popups = program.popups()
        self.assertIn("Preparing download", popups)
        requested = [p for p in popups if p.startswith("Requesting ")]
        expected = ["Requesting %04X" % slot_address(i) for i in range(39, -2, -1)]
        self.assertEqual(list(dict.fromkeys(requested)), expected, "slots read, newest first, then the empty one")
        self.assertEqual(self.statuses_before_link(program)[-1], "Not Connected, attempting COM1")

        # The port mapping is the user's; the program must keep it.
        with open(os.path.join(self.dir, "CVLog.ini")) as f:
            settings = f.read()
        self.assertIn("COM1=%s" % sim.pty, settings)

    def test_second_run_appends_only_the_newer_flights(self):
        flights = season(45)
        first = self.kite(flights[:40], name="first")
        self.download(first, 40, slot_address(-1))
        first.stop()
        self.assertEqual(len(self.read_rows()), 40)

        # The same instrument later: five more flights, the first 40 in the same slots.
        second = self.kite(flights, name="second")
        self.download(second, 6, slot_address(39))

        rows = self.read_rows()
        self.assertEqual(len(rows), 45)
        self.assert_in_order_flown(rows, flights[:40], KITE_SERIAL)
        self.assert_in_order_flown(rows, flights[40:], KITE_SERIAL, first_row=40)
        self.assert_table_file(45)
        # The first known flight ends the walk: nothing older is read.
        reads = [f for f in second.frames() if f.startswith("82 E1 03 07 ")]
        self.assertEqual(len(reads), len(set(reads)), "\n".join(reads))
        self.assertEqual(len(set(reads)), 6, "\n".join(reads))

    def test_silent_device_is_lost_and_searched_for_again(self):
        flights = season(3)
        # Answers the search, the position, three reads and the empty slot, a few polls.
        sim = self.kite(flights, "--silent-after", "12", "--resume-after", "15")
        write_settings(self.dir, com1=sim.pty)
        program = self.start_program()
        connected = program.wait_status(KITE_CONNECTED)
        self.assertIsNotNone(connected, self.explain(program, sim))

        lost = program.wait_popup("Connection terminated", 30, since=connected)
        self.assertIsNotNone(lost, self.explain(program, sim))
        self.assertIsNotNone(program.wait_status("Not Connected, attempting COM1", 5, since=connected),
                             self.explain(program, sim))
        frames_at_loss = len(sim.frames())
        # The device comes back after 15 ignored commands: linked again, and the
        # new link's download stops at once at the newest flight, already known.
        again = program.wait_status(KITE_CONNECTED, 30, since=lost)
        self.assertIsNotNone(again, self.explain(program, sim))
        self.assertIsNotNone(program.wait_popup("Requesting %04X" % slot_address(2), 15, since=again),
                             self.explain(program, sim))
        self.assertIsNotNone(program.wait_popup("", 15, since=again + 1), self.explain(program, sim))
        time.sleep(1.0)
        self.stop_program(program, sim)

        searched = sim.frames()[frames_at_loss:]
        identity_requests = [f for f in searched if f == IDENTITY_AT_SEARCH_ADDRESS]
        self.assertGreaterEqual(len(identity_requests), 3, "\n".join(searched))
        newest = slot_address(2)
        reads = [f.split()[4:6] for f in searched if f.startswith("82 E1 03 07 ")]
        self.assertEqual(reads, [["%02X" % (newest & 0xFF), "%02X" % (newest >> 8)]], "\n".join(searched))
        rows = self.read_rows()
        self.assertEqual(len(rows), 3, "a new link must not import the known flights again")
        self.assert_in_order_flown(rows, flights, KITE_SERIAL)

    def test_a_broken_download_comes_whole_and_download_all_fills_a_gap(self):
        flights = season(40)
        # The cable is pulled some reads into the first download, and put back.
        sim = self.kite(flights, "--silent-after", "25", "--resume-after", "10")
        write_settings(self.dir, com1=sim.pty)
        program = self.start_program(control=True)
        connected = program.wait_status(KITE_CONNECTED)
        self.assertIsNotNone(connected, self.explain(program, sim))
        lost = program.wait_popup("Connection terminated", 30, since=connected)
        self.assertIsNotNone(lost, self.explain(program, sim))
        self.assertEqual(self.read_rows(), [], "a broken download writes nothing")
        self.assertIsNotNone(program.wait_status(KITE_CONNECTED, 30, since=lost), self.explain(program, sim))
        end = program.wait_download_end(slot_address(-1), download_timeout(40))
        self.assertIsNotNone(end, self.explain(program, sim))
        rows = self.read_rows()
        self.assertEqual(len(rows), 40, "every flight once")
        self.assert_in_order_flown(rows, flights, KITE_SERIAL)

        # A log that an earlier program left with a gap: "Download all flights"
        # brings the missing ones and nothing twice.
        self.stop_program(program, sim)
        sim.stop()
        gap = flights[10:15]
        write_log_table(os.path.join(self.dir, "CVLog.dbf"), [self.logged(f) for f in flights if f not in gap])
        sim = self.kite(flights, name="again")
        write_settings(self.dir, com1=sim.pty)
        program = self.start_program(control=True)
        self.assertIsNotNone(program.wait_status(KITE_CONNECTED), self.explain(program, sim))
        self.assertIsNotNone(program.wait_download_end(slot_address(39), 30), "stops at the newest, known")
        since = program.output.mark()
        self.assertIsNotNone(program.command("trigger Downloadallflights1"), self.explain(program, sim))
        done = program.wait_popup("Download complete: 5 new flights", download_timeout(40), since=since)
        self.assertIsNotNone(done, self.explain(program, sim))
        self.stop_program(program, sim)
        rows = self.read_rows()
        self.assertEqual(len(rows), 40)
        self.assert_in_order_flown(rows, [f for f in flights if f not in gap] + gap, KITE_SERIAL)

    def logged(self, flight):
        """The row the program writes for a downloaded flight."""
        return {"TAKEOFFD": flight.date, "TAKEOFFT": flight.time_text(), "FLIGHTTIME": flight.minutes,
                "MAXALT": flight.altitude, "MAXSPD": flight.speed, "STUDENT": flight.student,
                "HOBBS": flight.hobbs, "INSTRUMENT": KITE_SERIAL, "COMMENT": ""}

    def test_flights_of_one_minute_and_a_day_ahead_of_today(self):
        today = datetime.date.today()
        ahead = today + datetime.timedelta(days=3)
        flights = []
        # A day later this month is last year's: the device keeps no year.
        if ahead.month == today.month:
            flights.append(Flight(ahead.replace(year=today.year - 1), 7, 0, 50, 1000, 80, 0, 17000))
        # A clock that was reset logs every flight at one minute.
        for minutes in (30, 45, 60):
            flights.append(Flight(today, 9, 5, minutes, 2000, 90, 0, 18000 + minutes))
        sim = self.kite(flights)
        self.download(sim, len(flights), slot_address(-1))
        rows = self.read_rows()
        self.assertEqual(len(rows), len(flights), "no flight taken for another")
        self.assert_in_order_flown(rows, flights, KITE_SERIAL)

    def test_lost_link_searches_at_e1_even_after_a_redirect(self):
        # Behind a redirect the device answers at FE only; once it goes quiet
        # the search must start over at E1, where the redirect comes from.
        sim = self.kite(season(2), "--redirect", "--silent-after", "12")
        write_settings(self.dir, com1=sim.pty)
        program = self.start_program()
        self.assertIsNotNone(program.wait_status(KITE_CONNECTED), self.explain(program, sim))
        lost = program.wait_popup("Connection terminated", 30)
        self.assertIsNotNone(lost, self.explain(program, sim))
        time.sleep(1.5)
        self.stop_program(program, sim)

        frames = sim.frames()
        addresses = [f.split()[1] for f in frames]
        self.assertIn("FE", addresses, "\n".join(frames))
        last_fe = len(addresses) - 1 - addresses[::-1].index("FE")
        after = frames[last_fe + 1:]
        self.assertGreaterEqual(len(after), 2, "\n".join(frames))
        self.assertEqual(set(after), {IDENTITY_AT_SEARCH_ADDRESS}, "\n".join(frames))
        self.assertEqual(len(self.read_rows()), 2)

    def test_download_over_the_usb_bridge(self):
        flights = season(40)
        sim = self.kite(flights)
        shutil.copy2(required_path("CVLOG_E2E_FAKE_USB"), os.path.join(self.dir, "libsiusbxp.so"))
        usb_log = os.path.join(self.dir, "usb-calls.txt")
        # No port mapping: over the bridge the serial port stays closed.
        write_settings(self.dir)
        program = self.download(sim, 40, slot_address(-1), com1=False,
                                extra_env={"FAKE_SIUSBXP_PORT": sim.pty, "FAKE_SIUSBXP_LOG": usb_log})

        before = self.statuses_before_link(program)
        self.assertEqual(before[-1], "Not Connected, attempting USB Tavolink IF")
        self.assertFalse([text for text in before if "COM" in text], before)
        rows = self.read_rows()
        self.assertEqual(len(rows), 40)
        self.assert_in_order_flown(rows, flights, KITE_SERIAL)
        self.assert_table_file(40)
        with open(usb_log) as f:
            calls = [line.split()[0] for line in f if line.strip()]
        self.assertEqual(calls[:2], ["SI_GetNumDevices", "SI_Open"])
        self.assertIn("SI_SetBaudRate", calls)
        self.assertIn("SI_Write", calls)
        self.assertIn("SI_Read", calls)

    def test_download_key_rows_carry_the_target_serial(self):
        flights = season(12)
        path = os.path.join(self.dir, "key-flights.txt")
        write_flights(path, flights)
        sim = self.start_sim(["--type", "K", "--identity", "EA15", "--verbose", "--flights", path])
        self.download(sim, 12, slot_address(-1), connected="Connected to download device type 2 EA15 " + VERSION)

        rows = self.read_rows()
        self.assertEqual(len(rows), 12)
        # Keep-alive replies between the reads carry the key's own serial number;
        # the flights still belong to the target instrument.
        self.assert_in_order_flown(rows, flights, "EA15")

    def test_unavailable_port_is_reported_without_a_crash(self):
        holder_master, holder = os.openpty()
        self.addCleanup(os.close, holder_master)
        self.addCleanup(os.close, holder)
        fcntl.flock(holder, fcntl.LOCK_EX)
        not_readable = os.path.join(self.dir, "mode000")
        open(not_readable, "w").close()
        os.chmod(not_readable, 0)
        directory = os.path.join(self.dir, "a-directory")
        os.mkdir(directory)
        cases = [
            ("missing", os.path.join(self.dir, "no-such-tty")),
            ("held by another program", os.ttyname(holder)),
            ("not a terminal, mode 000", not_readable),
            ("a directory", directory),
        ]
        for name, port in cases:
            with self.subTest(port=name):
                write_settings(self.dir, com1=port)
                program = self.start_program()
                try:
                    # The text before the first showing reads the same, so wait for
                    # the refusal itself: its message, or the port selection offered.
                    seen = program.wait_line(lambda line: PORT_REFUSED_MESSAGE in line
                                             or line.startswith("CVLOG DIALOG"))
                    self.assertIsNotNone(seen, self.explain(program))
                    if port == os.ttyname(holder):
                        # The line under the message names who holds the device: this test.
                        with open("/proc/self/comm") as f:
                            holder_text = "%s: Device or resource busy; it is held by %s (process %d)" % (
                                port, f.read().strip(), os.getpid())
                        self.assertIsNotNone(program.wait_line(lambda line: line == holder_text),
                                             self.explain(program))
                    # A few ticks with no port: still running, nothing sent anywhere.
                    time.sleep(1.0)
                    self.assertTrue(program.running(), self.explain(program))
                    statuses = program.statuses()
                    self.assertEqual(statuses[-1], NOT_AVAILABLE, self.explain(program))
                    self.assertFalse([text for text in statuses if "attempting" in text], self.explain(program))
                    self.assertNotIn("Connection terminated", program.popups())
                    self.stop_program(program)
                finally:
                    # The next case needs the program directory to itself.
                    program.kill()
                self.assertEqual(os.stat(not_readable).st_size, 0)
                self.assertEqual(stat.S_IMODE(os.stat(not_readable).st_mode), 0)
        self.assertEqual(len(self.read_rows()), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
