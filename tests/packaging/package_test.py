"""The program as a user installs it, from the RelWithDebInfo tree build/:
`cmake --install` into a temporary prefix, the Debian package `cpack -G DEB`
makes, lintian on it, and the package's contents unpacked with dpkg-deb and
run by an ordinary user with an empty home and no display. test.sh runs it
after building build/:

    python3 tests/packaging/package_test.py [BUILD_DIR]
"""
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_support import START_TIMEOUT, STOP_TIMEOUT, LineCollector  # noqa: E402

BUILD = os.path.abspath(os.environ.get("CVLOG_BUILD_DIR", "build"))
APP_ID = "io.github.cvlog.CVLog"
NOBODY = 65534

INSTALLED_FILES = {
    "bin/cvlog",
    "bin/cvlog-sim",
    "lib/udev/rules.d/70-cvlog-cp210x.rules",
    "share/applications/%s.desktop" % APP_ID,
    "share/cvlog/installed",
    "share/doc/cvlog/changelog.gz",
    "share/doc/cvlog/copyright",
    "share/icons/hicolor/scalable/apps/%s.svg" % APP_ID,
    "share/man/man1/cvlog-sim.1.gz",
    "share/man/man1/cvlog.1.gz",
    "share/metainfo/%s.metainfo.xml" % APP_ID,
}

UDEV_FIELD = re.compile(r'\s*([A-Z_]+(?:\{[A-Za-z_]+\})?)\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*(?:,|$)')


def project_version():
    with open(os.path.join(BUILD, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith("CMAKE_PROJECT_VERSION:"):
                return line.strip().split("=", 1)[1]
    raise AssertionError("no project version in the build tree's cache")


def run(command, **kwargs):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=300,
                          **kwargs)


def files_below(root):
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            info = os.lstat(path)
            found[os.path.relpath(path, root)] = (info.st_size, info.st_mtime_ns)
    return found


def udev_rules(path):
    """Each rule of the file as a list of (key, operator, value); a line that
    does not read as fields fails."""
    rules = []
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            fields, at = [], 0
            while at < len(line):
                m = UDEV_FIELD.match(line, at)
                if not m:
                    raise AssertionError("line %d does not parse at %r" % (number, line[at:]))
                fields.append(m.groups())
                at = m.end()
            rules.append(fields)
    return rules


class User:
    """The unpacked or copied program, run as the ordinary user 65534 with a
    home of its own, no display and the offscreen platform, driven through
    its control channel."""

    def __init__(self, home):
        self.home = home
        os.makedirs(home, exist_ok=True)
        os.chown(home, NOBODY, NOBODY)

    def env(self, platform=True):
        env = {key: value for key, value in os.environ.items()
               if key not in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM")}
        env.update({"HOME": self.home, "CVLOG_AUTOCLOSE_MESSAGES": "1", "CVLOG_TEST_CONTROL": "1"})
        if platform:
            env["QT_QPA_PLATFORM"] = "offscreen"
        return env

    def command(self, program, *args):
        return ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups", program] + list(args)

    def run(self, program, *args, platform=True):
        """Without `platform` not even the offscreen one: the answer must come before the toolkit starts."""
        return run(self.command(program, *args), env=self.env(platform), cwd="/", stdin=subprocess.DEVNULL)

    def start(self, program, *args):
        process = subprocess.Popen(self.command(program, *args), env=self.env(), cwd="/",
                                   stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        process.output = LineCollector(process.stderr)
        return process


class PackageTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls._temp = tempfile.TemporaryDirectory(prefix="cvlog-package-")
        cls.temp = cls._temp.name
        os.chmod(cls.temp, 0o755)  # the ordinary user must reach what is below
        cls.version = project_version()
        # The package is made once; lintian and the unpacked run both look at it.
        out = os.path.join(cls.temp, "cpack")
        made = run(["cpack", "-G", "DEB", "-B", out], cwd=BUILD)
        cls.deb = os.path.join(out, "cvlog_%s_amd64.deb" % cls.version)
        if made.returncode != 0 or not os.path.exists(cls.deb):
            cls._temp.cleanup()
            raise AssertionError("cpack made no package:\n" + made.stdout + made.stderr)

    @classmethod
    def tearDownClass(cls):
        cls._temp.cleanup()

    def setUp(self):
        self.processes = []

    def tearDown(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
            process.stdin.close()
            process.stderr.close()

    def start(self, user, program, *args):
        process = user.start(program, *args)
        self.processes.append(process)
        return process

    def send(self, process, line):
        since = process.output.mark()
        process.stdin.write((line + "\n").encode())
        process.stdin.flush()
        seen = process.output.wait_for(lambda l: l == "CVLOG CONTROL " + line, START_TIMEOUT, since)
        self.assertIsNotNone(seen, "no answer to %r:\n%s" % (line, process.output.text()))

    def quit(self, process):
        self.send(process, "trigger Exit1")
        self.assertEqual(process.wait(STOP_TIMEOUT), 0, process.output.text())

    def test_the_install_gives_the_program_its_entry_icon_metainfo_manual_and_udev_rule(self):
        prefix = os.path.join(self.temp, "prefix")
        installed = run(["cmake", "--install", BUILD, "--prefix", prefix])
        self.assertEqual(installed.returncode, 0, installed.stderr)
        self.assertEqual(set(files_below(prefix)), INSTALLED_FILES)

        desktop = os.path.join(prefix, "share/applications/%s.desktop" % APP_ID)
        checked = run(["desktop-file-validate", desktop])
        self.assertEqual((checked.returncode, checked.stdout + checked.stderr), (0, ""))
        metainfo = os.path.join(prefix, "share/metainfo/%s.metainfo.xml" % APP_ID)
        checked = run(["appstreamcli", "validate", "--no-net", metainfo])
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        with open(metainfo) as f:
            text = f.read()
        self.assertIn('<launchable type="desktop-id">%s.desktop</launchable>' % APP_ID, text)
        self.assertIn('<release version="%s" date="' % self.version, text)
        with open(desktop) as f:
            self.assertIn("Icon=%s\n" % APP_ID, f.read())

        for page in ("cvlog", "cvlog-sim"):
            shown = run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z",
                         os.path.join(prefix, "share/man/man1/%s.1.gz" % page)],
                        env=dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80"))
            self.assertEqual((shown.returncode, shown.stderr), (0, ""), page)

        # Debian 12's udevadm has no "verify"; the rule's fields are read here instead.
        rule_file = os.path.join(prefix, "lib/udev/rules.d/70-cvlog-cp210x.rules")
        self.assertLess(int(os.path.basename(rule_file).split("-")[0]), 73, "uaccess acts in 73-seat-late")
        rules = udev_rules(rule_file)
        for subsystem, parent in (("usb", "ATTR"), ("tty", "ATTRS")):
            wanted = {("SUBSYSTEM", "==", subsystem), (parent + "{idVendor}", "==", "10c4"),
                      (parent + "{idProduct}", "==", "ea60"), ("TAG", "+=", "uaccess")}
            self.assertTrue([rule for rule in rules if wanted <= set(rule)], "%s rule in %r" % (subsystem, rules))
        if shutil.which("udevadm") and run(["udevadm", "verify", "--help"]).returncode == 0:
            checked = run(["udevadm", "verify", rule_file])
            self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)

    def test_the_package_passes_lintian_and_reloads_the_udev_rules_where_there_is_udev(self):
        deb = self.deb
        fields = run(["dpkg-deb", "-f", deb, "Version", "Depends"]).stdout
        self.assertIn("Version: %s\n" % self.version, fields)
        self.assertIn("libqt6widgets6", fields, "dependencies come from dpkg-shlibdeps")
        linted = run(["lintian", "--tag-display-limit", "0", deb])
        print("\nlintian:\n" + (linted.stdout or "(nothing)\n"), file=sys.stderr)
        self.assertFalse([line for line in linted.stdout.splitlines() if line.startswith("E:")], linted.stdout)
        self.assertNotIn("E:", linted.stderr)

        # The maintainer scripts, with a udevadm that only notes its calls and without any.
        control = os.path.join(self.temp, "control")
        self.assertEqual(run(["dpkg-deb", "-e", deb, control]).returncode, 0)
        tools = os.path.join(self.temp, "tools")
        os.makedirs(tools)
        calls = os.path.join(self.temp, "udevadm-calls")
        with open(os.path.join(tools, "udevadm"), "w") as f:
            f.write('#!/bin/sh\necho "$*" >> %s\n' % calls)
        os.chmod(os.path.join(tools, "udevadm"), 0o755)
        no_udev = os.path.join(self.temp, "no-udev")
        os.makedirs(no_udev)
        for name in ("sh", "dash"):
            if shutil.which(name):
                os.symlink(shutil.which(name), os.path.join(no_udev, name))
        cases = [
            ("postinst", "configure", tools + ":/usr/bin:/bin",
             ["control --reload-rules",
              "trigger --action=change --subsystem-match=usb --attr-match=idVendor=10c4",
              "trigger --action=change --subsystem-match=tty --property-match=ID_VENDOR_ID=10c4"]),
            ("postrm", "remove", tools + ":/usr/bin:/bin", ["control --reload-rules"]),
            ("postrm", "upgrade", tools + ":/usr/bin:/bin", []),
            ("postinst", "configure", no_udev, []),
            ("postrm", "purge", no_udev, []),
        ]
        for script, argument, path, expected in cases:
            with self.subTest(script=script, argument=argument, path=path):
                if os.path.exists(calls):
                    os.remove(calls)
                ran = run(["/bin/sh", os.path.join(control, script), argument], env={"PATH": path})
                self.assertEqual(ran.returncode, 0, ran.stderr)
                noted = []
                if os.path.exists(calls):
                    with open(calls) as f:
                        noted = f.read().splitlines()
                self.assertEqual(noted, expected)

    def test_the_unpacked_package_keeps_the_log_in_the_users_data_folder_one_copy_each(self):
        root = os.path.join(self.temp, "unpacked")
        self.assertEqual(run(["dpkg-deb", "-x", self.deb, root]).returncode, 0)
        program = os.path.join(root, "usr/bin/cvlog")
        before = files_below(root)
        user = User(os.path.join(self.temp, "home"))

        answered = user.run(program, "--version", platform=False)
        self.assertEqual((answered.returncode, answered.stdout), (0, "cvlog %s\n" % self.version))
        answered = user.run(program, "--help", platform=False)
        self.assertEqual(answered.returncode, 0)
        self.assertIn("--data-dir DIR", answered.stdout)
        answered = user.run(program, "--no-such-option", platform=False)
        self.assertEqual(answered.returncode, 2)
        self.assertTrue(answered.stderr.startswith('cvlog: unknown option "--no-such-option"\nUsage: cvlog'),
                        answered.stderr)
        answered = user.run(program, "--data-dir", os.path.join(self.temp, "no-such-folder"))
        self.assertEqual(answered.returncode, 1)
        self.assertIn("no-such-folder, cannot be used: No such file or directory.", answered.stderr)
        self.assertEqual(os.listdir(user.home), [], "no answer touches the home folder")

        first = self.start(user, program)
        self.send(first, "sync")
        data = os.path.join(user.home, ".local/share/CVLog")
        self.assertTrue(os.path.isfile(os.path.join(data, "CVLog.dbf")))
        for folder in (".local", ".local/share", ".local/share/CVLog"):
            self.assertEqual(stat.S_IMODE(os.stat(os.path.join(user.home, folder)).st_mode), 0o700, folder)

        # The lock is the data folder's: a second copy on it stops, one on another folder runs.
        second = user.run(program)
        self.assertEqual(second.returncode, 0)
        self.assertIn("This application is active. This new copy will terminate.", second.stderr)
        other = os.path.join(self.temp, "other-log")
        os.makedirs(other)
        os.chown(other, NOBODY, NOBODY)
        third = self.start(user, program, "--data-dir", other)
        self.send(third, "sync")
        self.quit(third)
        self.quit(first)

        self.assertEqual(sorted(os.listdir(data)), ["CVLOG1.lock", "CVLog.dbf", "CVLog.ini"])
        self.assertEqual(sorted(os.listdir(other)), ["CVLOG1.lock", "CVLog.dbf", "CVLog.ini"])
        self.assertEqual(files_below(root), before, "nothing is written below the install prefix")

    def test_a_copy_that_is_not_installed_keeps_its_files_beside_itself(self):
        folder = os.path.join(self.temp, "copy/bin")  # a bin folder, but no install beside it
        os.makedirs(folder)
        program = os.path.join(folder, "cvlog")
        shutil.copy2(os.path.join(BUILD, "cvlog"), program)
        os.chown(folder, NOBODY, NOBODY)
        user = User(os.path.join(self.temp, "home-of-a-portable-copy"))
        process = self.start(user, program)
        self.send(process, "sync")
        self.quit(process)
        self.assertEqual(sorted(os.listdir(folder)), ["CVLOG1.lock", "CVLog.dbf", "CVLog.ini", "cvlog"])
        self.assertEqual(os.listdir(user.home), [])


if __name__ == "__main__":
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        BUILD = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
