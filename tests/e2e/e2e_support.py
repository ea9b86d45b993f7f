"""Runs the real cvlog beside a simulated instrument, as a user would.

The program keeps its table, settings and lock file beside the executable, so
each test copies the executable into a fresh directory. Its stderr carries the
texts of the status bar, the status pop-up and every message box (the program
prints them when CVLOG_TRACE_STATUS and CVLOG_AUTOCLOSE_MESSAGES are set); a
reader thread collects them so a test can wait for a text with a deadline.

Paths of the programs under test come from the environment: CVLOG_E2E_PROGRAM,
CVLOG_E2E_SIM and CVLOG_E2E_FAKE_USB.
"""
import datetime
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import threading
import time
import unittest

# Debug builds under the sanitizers start slowly on a busy machine.
START_TIMEOUT = 30.0
STOP_TIMEOUT = 30.0

# The log memory window that a Kite and the download keys share.
WINDOW_START = 0xF100
WINDOW_END = 0x10000
SLOT_SIZE = 16

IDENTITY_AT_SEARCH_ADDRESS = "82 E1 02 08 04 4A 83"

HEADER_SIZE = 321
ROW_SIZE = 127

STATUS_LINE = re.compile(r"^CVLOG STATUS ?(.*)$")
POPUP_LINE = re.compile(r"^CVLOG POPUP ?(.*)$")
MESSAGE_LINE = re.compile(r"^CVLOG MESSAGE \[([^\]]*)\] ([^:]*): ?(.*)$")


def required_path(name):
    path = os.environ.get(name, "")
    if not path or not os.path.exists(path):
        raise unittest.SkipTest("%s does not name a built file (%r)" % (name, path))
    return path


class Flight:
    """One logged flight as the simulator's flights file lists it."""

    def __init__(self, date, hour, minute, minutes, altitude, speed, student, hobbs):
        self.date = date
        self.hour = hour
        self.minute = minute
        self.minutes = minutes
        self.altitude = altitude
        self.speed = speed
        self.student = student
        self.hobbs = hobbs

    def line(self):
        return "%s %d:%02d %d %d %d %d %d" % (self.date.isoformat(), self.hour, self.minute, self.minutes,
                                             self.altitude, self.speed, self.student, self.hobbs)

    def time_text(self):
        return "%d:%02d" % (self.hour, self.minute)

    def __repr__(self):
        return "Flight(%s)" % self.line()


def earliest_inferable_day(today):
    """The first day whose year the program still infers right from its month:
    the first of the month after today's month, one year back."""
    if today.month == 12:
        return datetime.date(today.year, 1, 1)
    return datetime.date(today.year - 1, today.month + 1, 1)


def season(count, today=None, hobbs_start=18725):
    """`count` distinct flights, oldest first, spread over the months whose year
    the program infers correctly, the newest on today. Hours below 10 and
    minutes below 10 come up, flight times pass the hour and the Hobbs meter is
    above a hundred hours, so every conversion of the record is exercised."""
    today = today or datetime.date.today()
    first = earliest_inferable_day(today)
    span = (today - first).days
    flights = []
    hobbs = hobbs_start
    for i in range(count):
        day = first + datetime.timedelta(days=(span * i) // max(count - 1, 1))
        minutes = 20 + (i * 37) % 300
        flights.append(Flight(day, 6 + (i * 5) % 14, (i * 7) % 60, minutes, 500 + (i * 997) % 64000,
                              60 + (i * 13) % 200, (i * 29) % 256, hobbs))
        hobbs += minutes + 10
    return flights


def write_flights(path, flights):
    with open(path, "w") as f:
        f.write("# written by the end-to-end test, oldest first\n")
        for flight in flights:
            f.write(flight.line() + "\n")


def slot_address(index, first_slot=0, start=WINDOW_START, end=WINDOW_END):
    """Address of the slot that holds flight `index` (0 = oldest); index -1 is
    the slot before the oldest, where the backward walk finds an empty slot."""
    slots = (end - start) // SLOT_SIZE
    return start + ((first_slot + index) % slots) * SLOT_SIZE


class LineCollector:
    """Collects the lines of a pipe in a thread; waits for lines by pattern."""

    def __init__(self, stream):
        self.lines = []
        self._cond = threading.Condition()
        self._closed = False
        self._thread = threading.Thread(target=self._run, args=(stream,), daemon=True)
        self._thread.start()

    def _run(self, stream):
        for raw in iter(stream.readline, b""):
            with self._cond:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\r\n"))
                self._cond.notify_all()
        with self._cond:
            self._closed = True
            self._cond.notify_all()

    def mark(self):
        with self._cond:
            return len(self.lines)

    def wait_for(self, predicate, timeout, since=0):
        """The index of the first line from `since` on that satisfies
        `predicate`, or None when the deadline passes or the stream ends."""
        deadline = time.monotonic() + timeout
        with self._cond:
            index = since
            while True:
                while index < len(self.lines):
                    if predicate(self.lines[index]):
                        return index
                    index += 1
                remaining = deadline - time.monotonic()
                if self._closed or remaining <= 0:
                    return None
                self._cond.wait(remaining)

    def matching(self, pattern, since=0):
        with self._cond:
            found = []
            for line in self.lines[since:]:
                m = pattern.match(line)
                if m:
                    found.append(m.group(1))
            return found

    def text(self):
        with self._cond:
            return "\n".join(self.lines)

    def join(self, timeout):
        self._thread.join(timeout)


class Simulator:
    """cvlog-sim on its pseudo-terminal."""

    def __init__(self, workdir, args, name="sim"):
        self.frame_log = os.path.join(workdir, name + "-frames.txt")
        self.stderr_path = os.path.join(workdir, name + "-stderr.txt")
        self._stderr = open(self.stderr_path, "wb")
        self.process = subprocess.Popen([required_path("CVLOG_E2E_SIM"), "--log", self.frame_log] + list(args),
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=self._stderr)
        self.pty = self._first_line()
        if not self.pty.startswith("/dev/"):
            self.stop()
            raise AssertionError("cvlog-sim printed no terminal path (got %r; stderr: %s)"
                                 % (self.pty, self.stderr_text()))

    def _first_line(self):
        line = b""
        deadline = time.monotonic() + START_TIMEOUT
        fd = self.process.stdout.fileno()
        while not line.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([fd], [], [], 0.5)
            if ready:
                chunk = os.read(fd, 256)
                if not chunk:
                    break
                line += chunk
        return line.decode("utf-8", "replace").strip()

    def frames(self):
        try:
            with open(self.frame_log) as f:
                return [line.strip() for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def stderr_text(self):
        try:
            with open(self.stderr_path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(STOP_TIMEOUT)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        self._stderr.close()


def catches_signal(pid, signal_number):
    """Whether the process has its own handler for the signal yet; before it
    has, a SIGTERM would kill it without the shutdown."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("SigCgt:"):
                    return (int(line.split()[1], 16) >> (signal_number - 1)) & 1 == 1
    except OSError:
        pass
    return False


class Program:
    """A copy of cvlog in its own directory, run on the offscreen platform;
    with `user` (a uid) as that ordinary user, who then owns the directory,
    and with `file_size_limit` no file it writes may grow past that many bytes."""

    def __init__(self, directory, extra_env=None, control=False, user=None, file_size_limit=None):
        self.directory = directory
        self.executable = os.path.join(directory, "cvlog")
        if not os.path.exists(self.executable):
            shutil.copy2(required_path("CVLOG_E2E_PROGRAM"), self.executable)
        env = dict(os.environ)
        env.update({
            "QT_QPA_PLATFORM": "offscreen",
            "CVLOG_AUTOCLOSE_MESSAGES": "1",
            "CVLOG_TRACE_STATUS": "1",
        })
        suppressions = os.environ.get("CVLOG_E2E_LSAN_SUPPRESSIONS")
        if suppressions and "LSAN_OPTIONS" not in env:
            env["LSAN_OPTIONS"] = "suppressions=" + suppressions
        if control:
            env["CVLOG_TEST_CONTROL"] = "1"
        env.update(extra_env or {})
        command = [self.executable]
        if user is not None:
            # Root passes every permission check; an ordinary user does not.
            for folder, _, names in os.walk(directory):
                for name in [folder] + [os.path.join(folder, n) for n in names]:
                    os.lchown(name, user, user)
            command = ["setpriv", "--reuid=%d" % user, "--regid=%d" % user, "--clear-groups"] + command
        if file_size_limit is not None:
            command = ["prlimit", "--fsize=%d" % file_size_limit] + command
        # Started from elsewhere, so that nothing depends on the working directory.
        self.process = subprocess.Popen(command, cwd="/", env=env,
                                        stdin=subprocess.PIPE if control else subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.output = LineCollector(self.process.stderr)

    def path(self, name):
        return os.path.join(self.directory, name)

    def running(self):
        return self.process.poll() is None

    def statuses(self, since=0):
        return self.output.matching(STATUS_LINE, since)

    def popups(self, since=0):
        return self.output.matching(POPUP_LINE, since)

    def wait_status(self, text, timeout=START_TIMEOUT, since=0, prefix=False):
        def hit(line):
            m = STATUS_LINE.match(line)
            return m is not None and (m.group(1).startswith(text) if prefix else m.group(1) == text)
        return self.output.wait_for(hit, timeout, since)

    def wait_popup(self, text, timeout=START_TIMEOUT, since=0):
        def hit(line):
            m = POPUP_LINE.match(line)
            return m is not None and m.group(1).strip() == text
        return self.output.wait_for(hit, timeout, since)

    def wait_line(self, predicate, timeout=START_TIMEOUT, since=0):
        return self.output.wait_for(predicate, timeout, since)

    def command(self, line, timeout=START_TIMEOUT):
        """Sends one control command (CVLOG_TEST_CONTROL) and waits until the
        program has taken it; returns the index of its acknowledgement."""
        since = self.output.mark()
        self.process.stdin.write((line + "\n").encode("utf-8"))
        self.process.stdin.flush()
        return self.output.wait_for(lambda l: l.startswith("CVLOG CONTROL ") and l.endswith(line), timeout, since)

    def wait_download_end(self, last_read, timeout):
        """Waits for the read of `last_read` (the slot that ends the download:
        an empty one or a known flight) and for the pop-up being hidden after
        its reply; returns the index of that hiding line or None."""
        requested = self.wait_popup("Requesting %04X" % last_read, timeout)
        if requested is None:
            return None
        return self.wait_popup("", timeout, since=requested + 1)

    def terminate(self):
        """SIGTERM once the program handles it; returns the exit status."""
        deadline = time.monotonic() + START_TIMEOUT
        while self.running() and not catches_signal(self.process.pid, signal.SIGTERM):
            if time.monotonic() > deadline:
                break
            time.sleep(0.05)
        if self.running():
            self.process.send_signal(signal.SIGTERM)
        try:
            code = self.process.wait(STOP_TIMEOUT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            code = None
        self.output.join(5)
        self._close_input()
        return code

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait()
        self.output.join(5)
        self._close_input()
        if not self.process.stderr.closed:
            self.process.stderr.close()

    def _close_input(self):
        if self.process.stdin is not None and not self.process.stdin.closed:
            self.process.stdin.close()


def write_settings(directory, com1=None, port=1):
    lines = ["[General]", "PORT=%d" % port]
    if com1 is not None:
        lines += ["[Ports]", "COM1=%s" % com1]
    with open(os.path.join(directory, "CVLog.ini"), "w") as f:
        f.write("\n".join(lines) + "\n")


LOG_FIELDS = [("TakeoffD", "D", 8), ("TakeoffT", "C", 5), ("FlightTime", "N", 9), ("MaxAlt", "N", 9),
              ("MaxSPD", "N", 9), ("Student", "N", 9), ("Hobbs", "N", 9), ("Instrument", "C", 4),
              ("Comment", "C", 64)]


def write_log_table(path, rows, fields=LOG_FIELDS):
    """A dBase III table written byte by byte, independently of the program:
    `rows` are dicts by upper-case field name (a date, a str, an int or None
    for an empty value); a row with "_deleted" set is marked deleted."""
    row_length = 1 + sum(width for _, _, width in fields)
    header_length = 32 + 32 * len(fields) + 1
    out = bytearray(struct.pack("<BBBBIHH20x", 3, 126, 12, 8, len(rows), header_length, row_length))
    for name, kind, width in fields:
        out += struct.pack("<11sc4xBB14x", name.encode("ascii"), kind.encode("ascii"), width, 0)
    out += b"\r"
    for row in rows:
        out += b"*" if row.get("_deleted") else b" "
        for name, kind, width in fields:
            value = row.get(name.upper())
            if value is None:
                text = b""
            elif kind == "D":
                text = value.strftime("%Y%m%d").encode("ascii")
            elif kind == "N":
                text = str(value).encode("ascii").rjust(width)
            else:
                text = value.encode("cp850")[:width]
            out += text.ljust(width)
    out += b"\x1a"
    with open(path, "wb") as f:
        f.write(out)


SAFETY_COPY = re.compile(r"^CVLog-(\d{8})-(\d{6})(?:-(\d+))?\.bak$", re.IGNORECASE)


def safety_copies(folder):
    """The copies of replaced logs that the program keeps beside the table, oldest first."""
    found = [(m.group(1), m.group(2), int(m.group(3) or 1), n) for n in os.listdir(folder)
             for m in [SAFETY_COPY.match(n)] if m]
    return [os.path.join(folder, n) for *_, n in sorted(found)]


def header_count(path):
    with open(path, "rb") as f:
        return struct.unpack("<I", f.read(8)[4:8])[0]


class DownloadCase(unittest.TestCase):
    """Base of the end-to-end tests: a fresh program directory, and every
    process started here stopped again whatever the test's outcome."""

    def setUp(self):
        self._temp = tempfile.TemporaryDirectory(prefix="cvlog-e2e-")
        self.addCleanup(self._temp.cleanup)
        self.dir = self._temp.name
        self._programs = []
        self._sims = []

    def tearDown(self):
        for program in self._programs:
            program.kill()
        for sim in self._sims:
            sim.stop()

    def start_sim(self, args, name="sim"):
        sim = Simulator(self.dir, args, name)
        self._sims.append(sim)
        return sim

    def start_program(self, extra_env=None, control=False, user=None, file_size_limit=None):
        program = Program(self.dir, extra_env, control, user, file_size_limit)
        self._programs.append(program)
        return program

    def wait_until(self, condition, program, what, timeout=START_TIMEOUT):
        deadline = time.monotonic() + timeout
        while not condition() and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertTrue(condition(), "%s\n%s" % (what, program.output.text()))

    def explain(self, program, *sims):
        """What to print when an expectation fails."""
        parts = ["program stderr:\n" + program.output.text()]
        for sim in sims:
            frames = sim.frames()
            parts.append("sim frames (%d, last 15):\n%s" % (len(frames), "\n".join(frames[-15:])))
            parts.append("sim stderr:\n" + sim.stderr_text())
        return "\n".join(parts)

    def stop_program(self, program, *sims):
        code = program.terminate()
        self.assertEqual(code, 0, "the shutdown on SIGTERM must end with status 0\n" + self.explain(program, *sims))

    def read_rows(self):
        import dbfread
        table = dbfread.DBF(os.path.join(self.dir, "CVLog.dbf"), encoding="cp850", char_decode_errors="strict")
        # A newly created file keeps the names in mixed case ("TakeoffD"), a
        # rewritten one in capitals; both name the same columns.
        rows = [{name.upper(): value for name, value in record.items()} for record in table]
        self.assertEqual(len(list(table.deleted)), 0, "no row may be marked deleted")
        return rows

    def assert_table_file(self, rows):
        path = os.path.join(self.dir, "CVLog.dbf")
        self.assertEqual(header_count(path), rows, "row count in the header")
        self.assertEqual(os.path.getsize(path), HEADER_SIZE + rows * ROW_SIZE + 1, "file length")
        with open(path, "rb") as f:
            f.seek(-1, os.SEEK_END)
            self.assertEqual(f.read(1), b"\x1a", "end-of-file mark")

    def assert_row(self, row, flight, instrument, where=""):
        """A table row against the flight that the simulator held."""
        expected = {
            "TAKEOFFD": flight.date,
            "TAKEOFFT": flight.time_text(),
            "FLIGHTTIME": flight.minutes,
            "MAXALT": flight.altitude,
            "MAXSPD": flight.speed,
            "STUDENT": flight.student,
            "HOBBS": flight.hobbs,
            "INSTRUMENT": instrument,
            "COMMENT": "",
        }
        actual = {name: row.get(name) for name in expected}
        self.assertEqual(actual, expected, "%s %r" % (where, flight))
