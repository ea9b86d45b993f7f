"""No file command can destroy the log: the real cvlog worked through its
menus (CVLOG_TEST_CONTROL) by a pilot who names the log's own files, files he
may not write and links as save targets, keeps a linked or damaged table, and
kills the program in the middle of a restore. The tables are read back with
dbfread. Run one case with: file_commands_test.py FileCommandsTest.test_...
"""
import datetime
import os
import re
import struct
import sys
import time
import unittest
from zoneinfo import ZoneInfo

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_support import (HEADER_SIZE, ROW_SIZE, SAFETY_COPY, START_TIMEOUT, DownloadCase,  # noqa: E402
                         header_count, safety_copies, write_log_table, write_settings)

SELF_SAVE = "File cannot be saved to itself, please choose a new name."
DENIED = "File access denied"
MESSAGE = re.compile(r"^CVLOG MESSAGE \[(\w+)\] [^:]*: (.*)$")
# What a writer killed half-way leaves: ".<target>.cvlog-" and six letters or digits.
TEMPORARY = re.compile(r"^\..+\.cvlog-")
NOBODY = 65534

# Each command that writes a file the user names: what opens its window and
# what that window says once it is up, the item that asks for the file, what
# closes the window again, and the first bytes of what it writes.
SAVE_COMMANDS = [
    ("text export", None, None, "SaveasTextfile1", None, b"01/03/2026 9:01 1:00 "),
    ("comma export", None, None, "Saveascommadelimitedtextfile1", None, b"01/03/2026,9:01,1:00,"),
    ("report PDF", "trigger Print1", "CVLOG REPORT ", "SavePdf1", "close Corvane Log", b"%PDF"),
    ("chart image", "trigger Statistics1", "CVLOG STATISTICS ", "Statistics/SaveChart1", None, b"\x89PNG"),
    ("backup", None, None, "N1", None, b"\x03"),
]
LOCALE_ENV = {"LC_ALL": "en_GB.UTF-8", "LANG": "en_GB.UTF-8"}
# Far from UTC, so that a name in UTC instead of local time shows.
ZONE = "Asia/Kathmandu"


def flight(day, minutes, comment=""):
    return {"TAKEOFFD": datetime.date(2026, 3, day), "TAKEOFFT": "9:%02d" % day, "FLIGHTTIME": minutes,
            "MAXALT": 1000 + day, "MAXSPD": 90, "STUDENT": 0, "HOBBS": 100 * day, "INSTRUMENT": "EA15",
            "COMMENT": comment}


def shown(rows):
    """What dbfread reads back of the live rows: day, minutes, comment."""
    return [(r["TAKEOFFD"], r["FLIGHTTIME"], r["COMMENT"]) for r in rows if not r.get("_deleted")]


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


def temporaries(*folders):
    return [os.path.join(f, n) for f in folders for n in os.listdir(f) if TEMPORARY.match(n)]


def damage(path, kind):
    """Spoils a table written by write_log_table the way a foreign program or
    a cut-short copy would."""
    data = bytearray(read_bytes(path))
    rows = header_count(path)
    if kind == "rows longer than their fields":
        body = data[HEADER_SIZE:HEADER_SIZE + rows * ROW_SIZE]
        widened = b"".join(body[i:i + ROW_SIZE] + b"   " for i in range(0, len(body), ROW_SIZE))
        data[HEADER_SIZE:HEADER_SIZE + rows * ROW_SIZE] = widened
        struct.pack_into("<H", data, 10, ROW_SIZE + 3)
    elif kind == "rows missing from its end":
        struct.pack_into("<I", data, 4, rows + 2)
    elif kind == "a row flag neither live nor deleted":
        data[HEADER_SIZE + ROW_SIZE] = ord("?")
    write_bytes(path, bytes(data))


class FileCommandsTest(DownloadCase):

    def setUp(self):
        super().setUp()
        self.table = os.path.join(self.dir, "CVLog.dbf")

    def start(self, user=None, extra_env=None, file_size_limit=None):
        program = self.start_program(dict(extra_env or {}, TZ=ZONE), control=True, user=user,
                                     file_size_limit=file_size_limit)
        self.assertIsNotNone(program.wait_line(lambda l: l.startswith("CVLOG STATUS")), program.output.text())
        return program

    def send(self, program, *lines):
        for line in lines:
            self.assertIsNotNone(program.command(line), "%s\n%s" % (line, program.output.text()))

    def messages(self, program, since):
        return [m.group(2) for m in map(MESSAGE.match, program.output.lines[since:]) if m]

    def wait_message(self, program, text, since, timeout=START_TIMEOUT):
        found = program.wait_line(lambda l: MESSAGE.match(l) is not None and text in l, timeout, since)
        self.assertIsNotNone(found, "no message %r\n%s" % (text, program.output.text()))

    def read(self, path=None):
        import dbfread
        table = dbfread.DBF(path or self.table, encoding="cp850", char_decode_errors="strict")
        return shown({k.upper(): v for k, v in row.items()} for row in table)

    def assert_whole(self, path, rows):
        """The table holds exactly these rows, and its header, its length and
        its end mark agree."""
        self.assertEqual(self.read(path), rows, path)
        self.assertEqual(os.path.getsize(path), HEADER_SIZE + header_count(path) * ROW_SIZE + 1, path)
        self.assertEqual(read_bytes(path)[-1:], b"\x1a", path)

    def read_quietly(self, path=None):
        """The rows, or None while the table is being replaced."""
        try:
            return self.read(path)
        except Exception:  # noqa: BLE001 - any half-made file reads as not yet
            return None

    def replace_log(self, program, command, source=None):
        """Wipes the log or restores it from a source; returns the safety copy
        that this made and the local time just before it began."""
        after = [] if command == "wipe" else self.read(source)
        self.assertNotEqual(self.read(), after, "a step that changes the log")
        copies = set(safety_copies(self.dir))
        started = datetime.datetime.now(ZoneInfo(ZONE)).replace(microsecond=0, tzinfo=None)
        if command == "wipe":
            self.send(program, "answer yes", "answer yes", "trigger Wipedatabase1")
        else:
            self.send(program, "file " + source, "trigger Restoredatabase1")
        self.wait_until(lambda: self.read_quietly() == after, program, "%s %s" % (command, source or ""))
        # The copy is made before the log is replaced.
        made = sorted(set(safety_copies(self.dir)) - copies)
        self.assertEqual(len(made), 1, "a safety copy holds the log that %s replaced; there are %s"
                         % (command, [os.path.basename(c) for c in safety_copies(self.dir)]))
        return made[0], started

    def stop(self, program):
        self.assertTrue(program.running(), "the program goes on\n" + program.output.text())
        self.stop_program(program)

    def test_no_save_command_writes_over_the_log_or_a_file_it_may_not_write(self):
        rows = [flight(1, 60, "first"), flight(2, 75), flight(3, 90, "last")]
        write_log_table(self.table, rows)
        write_settings(self.dir, com1="/dev/null-no-port")
        old_copy = os.path.join(self.dir, "CVLog-20260301-120000.bak")
        write_log_table(old_copy, rows[:1])
        lock = os.path.join(self.dir, "CVLOG1.lock")
        write_bytes(lock, b"")

        # Every way of naming the log's own files that a pilot could type.
        elsewhere = os.path.join(self.dir, "elsewhere")
        os.makedirs(os.path.join(self.dir, "sub"))
        os.makedirs(elsewhere)
        os.symlink(self.dir, os.path.join(elsewhere, "folder-link"))
        routes = []
        for name in ("CVLog.dbf", "CVLOG1.lock", os.path.basename(old_copy)):
            own = os.path.join(self.dir, name)
            os.symlink(own, os.path.join(elsewhere, name + "-symlink.txt"))
            os.link(own, os.path.join(elsewhere, name + "-hardlink.txt"))
            routes += [own, os.path.join(self.dir, name.swapcase()), os.path.join(self.dir, "sub", "..", name),
                       os.path.join(elsewhere, name + "-symlink.txt"), os.path.join(elsewhere, name + "-hardlink.txt"),
                       os.path.join(elsewhere, "folder-link", name)]
        # A safety copy that a later wipe or restore would make under that name.
        routes += [os.path.join(self.dir, "CVLog-20991231-235959.bak"),
                   os.path.join(self.dir, "cvlog-20991231-235959-2.BAK")]

        # Files the pilot may not write, and a link to one he may.
        read_only = os.path.join(self.dir, "read-only.txt")
        write_bytes(read_only, b"mine")
        os.chmod(read_only, 0o444)
        closed = os.path.join(self.dir, "closed")
        os.makedirs(closed)
        write_bytes(os.path.join(closed, "old.txt"), b"mine")
        os.chmod(closed, 0o555)
        real = os.path.join(self.dir, "out", "real.txt")
        os.makedirs(os.path.dirname(real))
        write_bytes(real, b"mine")
        link = os.path.join(self.dir, "link.txt")
        os.symlink(os.path.join("out", "real.txt"), link)

        program = self.start(user=NOBODY, extra_env=LOCALE_ENV)
        before = read_bytes(self.table)
        for name, opener, opened, item, closer, content in SAVE_COMMANDS:
            if opener:
                since = program.output.mark()
                self.send(program, opener)
                self.assertIsNotNone(program.wait_line(lambda l: l.startswith(opened), since=since),
                                     "%s: %s\n%s" % (name, opener, program.output.text()))
            for route in routes:
                since = program.output.mark()
                self.send(program, "file " + route, "trigger " + item)
                self.wait_message(program, SELF_SAVE, since)
                self.assertEqual(read_bytes(self.table), before, "%s to %s" % (name, route))
            self.assertFalse(any(map(os.path.exists, routes[-2:])), name)

            for target in (read_only, os.path.join(closed, "old.txt"), os.path.join(closed, "new.txt")):
                since = program.output.mark()
                self.send(program, "file " + target, "trigger " + item)
                self.wait_message(program, DENIED, since)
            self.assertEqual(read_bytes(read_only), b"mine", name)
            self.assertEqual(sorted(os.listdir(closed)), ["old.txt"], name)
            self.assertEqual(read_bytes(os.path.join(closed, "old.txt")), b"mine", name)

            write_bytes(real, b"mine")
            since = program.output.mark()
            self.send(program, "file " + link, "trigger " + item)
            self.wait_until(lambda: read_bytes(real).startswith(content), program, "%s through a link" % name)
            self.send(program, "sync")
            self.assertEqual(self.messages(program, since), [], name)
            self.assertEqual(os.readlink(link), os.path.join("out", "real.txt"), "%s: the link stays" % name)
            self.assertEqual(os.listdir(os.path.dirname(real)), ["real.txt"], name)
            if closer:
                self.send(program, closer)
            # A backup closes and opens the log again, which rewrites its header.
            before = read_bytes(self.table)

        self.assertEqual(self.read(old_copy), shown(rows[:1]), "the safety copy is as it was")
        self.stop(program)
        self.assert_whole(self.table, shown(rows))
        self.assertEqual(temporaries(self.dir, elsewhere, closed, os.path.dirname(real)), [])

        # A report larger than the files the user may make is refused as a
        # full disk, and the program goes on.
        program = self.start(user=NOBODY, file_size_limit=4096)
        self.send(program, "trigger Print1")
        self.assertIsNotNone(program.wait_line(lambda l: l.startswith("CVLOG REPORT ")), program.output.text())
        since = program.output.mark()
        self.send(program, "file " + os.path.join(self.dir, "report.pdf"), "trigger SavePdf1")
        self.wait_message(program, "Disk full", since)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "report.pdf")))
        self.send(program, "close Corvane Log")
        self.stop(program)
        self.assertEqual(temporaries(self.dir), [])

    def test_safety_copies_links_and_damaged_tables_through_wipe_compact_restore_and_a_kill(self):
        write_settings(self.dir, com1="/dev/null-no-port")
        log = [flight(1, 60, "first"), flight(2, 75), flight(3, 90, "last")]
        sources = []
        for n in range(3):
            sources.append(os.path.join(self.dir, "source-%d.dbf" % n))
            write_log_table(sources[-1], [flight(10 + n, 30 + n, "source %d" % n)])
        self.refuse_damaged_sources_and_keep_five_copies(log, sources)
        self.keep_a_linked_table_a_link(sources[1])
        self.never_write_a_damaged_table(log)
        self.leave_one_whole_log_after_a_killed_restore(log)
        self.keep_the_copy_after_the_clock_went_back(sources[0])

    def refuse_damaged_sources_and_keep_five_copies(self, log, sources):
        write_log_table(self.table, log)
        own_copy = os.path.join(self.dir, "CVLog.bak")
        write_bytes(own_copy, b"the pilot's own copy")
        program = self.start()

        # Damaged sources and a pipe are refused before the log is touched.
        before = read_bytes(self.table)
        for kind in ("rows longer than their fields", "rows missing from its end",
                     "a row flag neither live nor deleted"):
            source = os.path.join(self.dir, kind.replace(" ", "-") + ".dbf")
            write_log_table(source, log)
            damage(source, kind)
            since = program.output.mark()
            self.send(program, "file " + source, "trigger Restoredatabase1")
            self.wait_message(program, "Cannot restore from %s: " % source, since)
            self.assertEqual(read_bytes(self.table), before, kind)
        pipe = os.path.join(self.dir, "pipe.dbf")
        os.mkfifo(pipe)
        since = program.output.mark()
        self.send(program, "file " + pipe, "trigger Restoredatabase1")
        self.wait_message(program, "Cannot restore from %s: " % pipe, since, timeout=10)
        self.assertIsNotNone(program.command("sync", timeout=5), "a pipe holds nothing up\n" + program.output.text())
        self.assertEqual(read_bytes(self.table), before, "a pipe")
        self.assertEqual(safety_copies(self.dir), [], "a refused restore keeps no copy")

        # Files of the safety copies' pattern that are there already are never
        # replaced; the first wipe meets them in the same second.
        now = datetime.datetime.now(ZoneInfo(ZONE))
        taken = {os.path.join(self.dir, (now + datetime.timedelta(seconds=s)).strftime("CVLog-%Y%m%d-%H%M%S.bak")):
                 b"taken %d" % s for s in range(3)}
        for path, content in taken.items():
            write_bytes(path, content)
        # Wipes and restores in turn: each copy holds the log it replaced, and
        # the newest five stay.
        kept = []
        current = shown(log)
        for number, (command, source) in enumerate([("wipe", None), ("restore", sources[0]), ("wipe", None),
                                                    ("restore", sources[1]), ("wipe", None),
                                                    ("restore", sources[2]), ("wipe", None)]):
            copy, started = self.replace_log(program, command, source)
            self.assertEqual(self.read(copy), current, "%d: the copy holds the replaced log" % number)
            m = SAFETY_COPY.match(os.path.basename(copy))
            stamp = datetime.datetime.strptime(m.group(1) + m.group(2), "%Y%m%d%H%M%S")
            self.assertTrue(started <= stamp <= datetime.datetime.now(ZoneInfo(ZONE)).replace(tzinfo=None),
                            "%s: local time, from %s on" % (copy, started))
            kept.append(current)
            current = self.read()
            if number == 0:
                for path, content in taken.items():
                    self.assertEqual(read_bytes(path), content, path)
                # Gone once their seconds are past, so that later copies
                # come after them.
                while datetime.datetime.now(ZoneInfo(ZONE)) < now + datetime.timedelta(seconds=len(taken)):
                    time.sleep(0.05)
                for path in taken:
                    os.remove(path)
        self.assertEqual([self.read(c) for c in safety_copies(self.dir)], kept[-5:], "the newest five")
        self.assertEqual(read_bytes(own_copy), b"the pilot's own copy")
        self.stop(program)
        # Cleared, so that the copies below never share a second with five
        # others: what the order of copies then does is checked at the end.
        for path in safety_copies(self.dir):
            os.remove(path)

    def keep_a_linked_table_a_link(self, source):
        """The pilot keeps the log in another folder, the table a link to it."""
        logs = os.path.join(self.dir, "logs")
        os.makedirs(logs)
        real = os.path.join(logs, "flights.dbf")
        linked = [flight(4, 40, "kept"), dict(flight(5, 50), _deleted=True), flight(6, 65, "also kept")]
        write_log_table(real, linked)
        live = shown(linked)
        os.remove(self.table)
        os.symlink(real, self.table)
        program = self.start()
        since = program.output.mark()
        self.send(program, "trigger Compactdatabse1")
        self.wait_message(program, "Compact database done", since)
        self.assertEqual(os.readlink(self.table), real, "compact keeps the link")
        self.assert_whole(real, live)
        since = program.output.mark()
        self.send(program, "file " + real, "trigger N1")
        self.wait_message(program, SELF_SAVE, since)
        for command, after in (("wipe", []), ("restore", self.read(source))):
            copy, _ = self.replace_log(program, command, source)
            self.assertEqual(os.readlink(self.table), real, "%s keeps the link" % command)
            self.assert_whole(real, after)
            self.assertEqual(os.path.dirname(copy), self.dir, "the copy stands beside the table")
            self.assertEqual(self.read(copy), live, command)
            live = after
        self.assertEqual(os.listdir(logs), ["flights.dbf"])
        self.stop(program)
        self.assertEqual(temporaries(self.dir, logs), [])
        os.remove(self.table)

    def never_write_a_damaged_table(self, log):
        for kind, why in (("rows longer than their fields", "its rows are 130 bytes long, but its fields take 127"),
                          ("rows missing from its end", "its header counts 5 rows, but the file holds only 3")):
            write_log_table(self.table, log)
            damage(self.table, kind)
            before = read_bytes(self.table)
            program = self.start()
            self.wait_message(program, '"%s" is damaged: %s' % (self.table, why), 0)
            since = program.output.mark()
            self.send(program, "trigger Statistics1")
            self.assertIsNotNone(program.wait_line(lambda l: l.startswith("CVLOG STATISTICS All flights: flights=3 "),
                                                   since=since),
                                 "%s: the flights are shown\n%s" % (kind, program.output.text()))
            self.send(program, "close Flight statistics", "type Form1/DBEdit5 edited", "click Form1/Post",
                      "click Form1/Insert", "type Form1/DBEdit2 45", "click Form1/Post", "trigger Compactdatabse1",
                      "sync")
            self.assertNotIn("Compact database done", self.messages(program, since), kind)
            self.assertEqual(read_bytes(self.table), before, kind)
            self.stop(program)
            self.assertEqual(read_bytes(self.table), before, "%s: not even the header at exit" % kind)

    def leave_one_whole_log_after_a_killed_restore(self, log):
        """A restore from a large source killed at any point: after the next
        start the log is the old one or the new one, whole, and nothing else,
        beside the table nor beside the file that the table links to."""
        big = os.path.join(self.dir, "big.dbf")
        big_log = [flight(1 + i % 28, 30 + i % 300, "flight %d" % i) for i in range(60000)]
        write_log_table(big, big_log)
        half = os.path.getsize(big) // 2
        logs = os.path.join(self.dir, "linked-logs")
        os.makedirs(logs)

        def folders():
            return self.dir, os.path.dirname(os.path.realpath(self.table))

        def temporary_size():
            sizes = [-1]
            for path in temporaries(*folders()):
                try:
                    sizes.append(os.path.getsize(path))
                except FileNotFoundError:
                    pass
            return max(sizes)

        copies = set(safety_copies(self.dir))
        for moment, table, reached in (
                ("the new log begun", self.table, lambda: temporary_size() >= 0),
                ("the new log half written", self.table, lambda: temporary_size() >= half),
                ("the old log kept", self.table, lambda: set(safety_copies(self.dir)) != copies),
                ("the new log begun for a linked table", os.path.join(logs, "flights.dbf"),
                 lambda: temporary_size() >= 0)):
            write_log_table(table, log)
            if table != self.table:
                os.remove(self.table)
                os.symlink(table, self.table)
            program = self.start()
            self.send(program, "file " + big, "trigger Restoredatabase1")
            self.wait_until(reached, program, moment)
            program.kill()
            program = self.start()
            self.assertEqual(temporaries(*folders()), [], moment)
            self.assertIn(self.read(), (shown(log), shown(big_log)), moment)
            self.assert_whole(table, self.read())
            self.stop(program)
        os.remove(self.table)

    def keep_the_copy_after_the_clock_went_back(self, source):
        """Five copies made while the clock ran a day ahead do not push out
        the copy of the log that is replaced now."""
        write_log_table(self.table, [flight(7, 70, "replaced now")])
        for n in range(5):
            ahead = datetime.datetime.now(ZoneInfo(ZONE)) + datetime.timedelta(days=1)
            write_log_table(os.path.join(self.dir, ahead.strftime("CVLog-%Y%m%d-%H%M%S") + "-%d.bak" % (n + 2)), [])
        program = self.start()
        copy, _ = self.replace_log(program, "restore", source)
        self.assertEqual(self.read(copy), [(datetime.date(2026, 3, 7), 70, "replaced now")])
        self.stop(program)


if __name__ == "__main__":
    unittest.main()
