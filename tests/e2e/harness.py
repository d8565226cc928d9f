"""End-to-end harness: the real velmora process, under Xvfb, with its clock
moved by libfaketime, against embedded databases in a scratch directory.

Usage (python3 standard library only; ctest passes the two paths):

    import harness
    args = harness.parse_args()          # --velmora BIN --create-databases BIN
    with harness.Environment(args) as env:
        env.seed("Velmora", "INSERT INTO vlmr_estagiario(matricula) VALUES ('1')")
        env.start(fake_start="2026-12-08 00:29:57")   # omit for the real clock
        row = env.wait_for_log_row(timeout=60)         # first complete log row
        env.find_windows("Form1")                       # X window ids
        env.dismiss_box("Velmora")                      # presses OK on a box
        assert env.running()
    # leaving the block stops velmora and Xvfb and removes the scratch dir

BIN for --velmora is the velmora_e2e build of the process (tests/e2e), which
opens the three catalogs as files Velmora.db, consulta_tessarin.db and
CALVERIN.db in its working directory; Environment runs it inside its own
scratch directory and on a display number reserved machine-wide (see
DISPLAY_LOCKS), so tests can run in parallel, also with other worktrees'
tests. Its mail goes to 127.0.0.1, port 25 (CMake cache variables
VELMORA_E2E_SMTP_HOST/_PORT/_MAILBOX); tests that listen there should share a
ctest RESOURCE_LOCK or a network namespace of their own. Set
VELMORA_E2E_KEEP=1 to keep the scratch directory for a look.
"""

import argparse
import ctypes
import fcntl
import os
import select
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

FAKETIME_LIBRARY = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
CATALOGS = ("Velmora", "consulta_tessarin", "CALVERIN")


# The 36 columns of cons_estagiario in the order of the system's insert.
CONS_COLUMNS = (
    "matricula,oficial,concurso,bolsa,orgao,nome,sexo,filiacao,cpf,logradouro,numero,"
    "complemento,bairro,cidade,uf,cep,telefone,celular,email,faculdade,baifacu,cidadefacu,"
    "periodo,turno,prevcolacao,dtiniestagio,dtfinestagio,Dt_inidesignacao,Dt_findesignacao,"
    "situacao,tpdeslig,matanterior,Dt_ininterrupcao,Dt_prevfinterrupcao,Dt_finterrupcao,"
    "motivo_interrupcao").split(",")


def source_row(ordinary, matricula, **changes):
    """A vlmr_estagiario row as a dict of column to value: the test's
    `ordinary` values (every column but matricula and nome), with matricula,
    nome "Intern <matricula>" and `changes` (which must name known columns).
    Inserts name the dict's columns, so no column order is spelled here."""
    row = dict(ordinary, matricula=matricula, nome=f"Intern {matricula}")
    for column in changes:
        assert column in row, column
    row.update(changes)
    return row


def cons_row(ordinary, matricula, **changes):
    """An expected cons_estagiario row: the test's `ordinary` values (every
    column but matricula and nome), with matricula, nome "Intern <matricula>"
    and `changes` (which must name known columns), in CONS_COLUMNS order."""
    values = dict(ordinary, matricula=matricula, nome=f"Intern {matricula}")
    for column in changes:
        assert column in values, column
    values.update(changes)
    return tuple(values[c] for c in CONS_COLUMNS)


def parse_args(argv=None):
    """The options every e2e test takes; extra options may follow."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--velmora", required=True, help="the velmora_e2e executable")
    parser.add_argument("--create-databases", required=True,
                        help="the velmora-create-databases tool")
    args, _ = parser.parse_known_args(argv)
    return args


# Display numbers are reserved machine-wide: every harness on this machine,
# in any worktree and in any network or mount namespace, takes its number
# under an flock on DISPLAY_LOCKS/<n>.lock and holds it while its Xvfb lives.
# Xvfb's own choice (-displayfd) is not enough: inside a network namespace
# the abstract X socket of a display in use outside is free, so an Xvfb
# there takes that number too and, when it exits, deletes the other server's
# /tmp/.X11-unix/X<n>.
DISPLAY_LOCKS = "/tmp/velmora-x-displays"
# Far above the numbers that desktops and other tools take first.
FIRST_DISPLAY, LAST_DISPLAY = 120, 400
# An X tool that gets no answer within this many seconds is killed and asked
# again: a tool left waiting on its display must fail that one call with a
# message, not hang the test until ctest kills it without a word.
X_TOOL_TIMEOUT = 10


def _die_with_parent():
    """preexec_fn: the child gets SIGTERM when the harness dies, so that no
    Xvfb or velmora outlives a test that was killed."""
    libc = ctypes.CDLL(None, use_errno=True)
    pr_set_pdeathsig = 1
    libc.prctl(pr_set_pdeathsig, signal.SIGTERM, 0, 0, 0)


def _reserve_display(number):
    """An open descriptor holding the lock of display `number`, or None when
    another harness holds it or an X server not started by a harness uses
    it. The lock file exists only while it is held: the holder removes it
    (and the directory, once empty) when it lets go, so a lock taken on a
    file that was removed meanwhile is taken again on the file now there."""
    path = _display_lock_path(number)
    while True:
        try:
            os.makedirs(DISPLAY_LOCKS, exist_ok=True)
            try:
                os.chmod(DISPLAY_LOCKS, 0o1777)
            except PermissionError:
                pass  # made by another user, who gave it the same mode
            fd = os.open(path, os.O_RDONLY | os.O_CREAT | os.O_CLOEXEC, 0o666)
        except FileNotFoundError:
            continue  # the directory went away with the last reservation
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            os.close(fd)
            return None
        try:
            held, there = os.fstat(fd), os.stat(path)
            current = (held.st_dev, held.st_ino) == (there.st_dev, there.st_ino)
        except FileNotFoundError:
            current = False
        if current:
            break
        os.close(fd)
    if (os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}")
            or _abstract_socket_in_use(number)):
        _release_display(number, fd)
        return None
    return fd


def _display_lock_path(number):
    return os.path.join(DISPLAY_LOCKS, f"{number}.lock")


def _release_display(number, fd):
    """Removes the lock file while still holding it, then lets go, and
    removes the directory when no other reservation is left in it."""
    try:
        os.unlink(_display_lock_path(number))
    except OSError:
        pass  # made by another user in a sticky directory: it stays, harmless
    os.close(fd)
    try:
        os.rmdir(DISPLAY_LOCKS)
    except OSError:
        pass  # others hold numbers, or it is not ours to remove


def _abstract_socket_in_use(number):
    name = f"@/tmp/.X11-unix/X{number}"
    with open("/proc/net/unix") as table:
        return any(line.split()[-1] == name for line in table if len(line.split()) >= 8)


class Xvfb:
    """A virtual X server on a display number of its own (see DISPLAY_LOCKS)."""

    def __init__(self, width=1024, height=768, dpi=96):
        self.process = None
        self._lock = None
        self._number = None
        for number in range(FIRST_DISPLAY, LAST_DISPLAY):
            lock = _reserve_display(number)
            if lock is None:
                continue
            if self._start(number, lock, width, height, dpi):
                self._lock = lock
                self._number = number
                self.display = f":{number}"
                return
            _release_display(number, lock)
        raise RuntimeError(f"Xvfb did not start on any display from :{FIRST_DISPLAY} "
                           f"to :{LAST_DISPLAY - 1}")

    def _start(self, number, lock, width, height, dpi):
        """Starts Xvfb on `number` and waits until it is ready (it writes its
        number to -displayfd then); False when it exits or stays silent.
        -noreset: by default the server resets when its last client goes, and
        a client that connects during the reset is refused ("could not
        connect to display") or never answered, which every test that
        restarts velmora or polls with xdotool runs into sooner or later."""
        read_end, write_end = os.pipe()
        # Xvfb inherits the lock too: the number stays reserved while the
        # server lives, even if this process were killed first.
        process = subprocess.Popen(
            ["Xvfb", f":{number}", "-displayfd", str(write_end), "-noreset", "-screen", "0",
             f"{width}x{height}x24", "-dpi", str(dpi), "-nolisten", "tcp"],
            pass_fds=(write_end, lock), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=_die_with_parent)
        os.close(write_end)
        with os.fdopen(read_end) as reader:
            ready, _, _ = select.select([reader], [], [], 30)
            answer = reader.readline().strip() if ready else ""
        if answer == str(number):
            self.process = process
            return True
        process.kill()
        process.wait()
        return False

    def describe(self):
        """The display and whether its server still runs, for failure texts."""
        code = self.process.poll()
        return f"Xvfb {self.display} " + ("running" if code is None else f"exited with {code}")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self._lock is not None:
            _release_display(self._number, self._lock)
            self._lock = None


class Environment:
    """A scratch data directory, Xvfb, and (after start()) the process."""

    def __init__(self, args, dpi=96):
        self.args = args
        self.dpi = dpi
        self.dir = tempfile.mkdtemp(prefix="velmora-e2e-")
        self.xvfb = None
        self.process = None
        self.output_path = os.path.join(self.dir, "velmora.output")

    def __enter__(self):
        subprocess.run([self.args.create_databases, self.dir], check=True)
        self.xvfb = Xvfb(dpi=self.dpi)
        return self

    def __exit__(self, *exc):
        self.stop()
        if self.xvfb:
            self.xvfb.stop()
        if exc[0] is not None or os.environ.get("VELMORA_E2E_KEEP"):
            print(f"scratch directory kept: {self.dir}", file=sys.stderr)
            print(self.output(), file=sys.stderr)
        else:
            shutil.rmtree(self.dir, ignore_errors=True)
        return False

    # Databases.
    def path(self, catalog):
        return os.path.join(self.dir, catalog + ".db")

    def connect(self, catalog):
        connection = sqlite3.connect(self.path(catalog), timeout=30)
        connection.isolation_level = None  # each statement commits at once
        return connection

    def seed(self, catalog, *statements):
        """Runs `statements` (text, or (text, parameters)) on `catalog`."""
        with self.connect(catalog) as connection:
            for statement in statements:
                if isinstance(statement, tuple):
                    connection.execute(*statement)
                else:
                    connection.execute(statement)

    def query(self, catalog, statement, parameters=()):
        connection = self.connect(catalog)
        try:
            return connection.execute(statement, parameters).fetchall()
        finally:
            connection.close()

    def tables(self, catalog="consulta_tessarin"):
        return sorted(r[0] for r in self.query(
            catalog, "SELECT name FROM sqlite_schema WHERE type = 'table'"))

    def log_rows(self):
        return self.query("Velmora",
                          "SELECT data, hora_inicial, hora_final, erro FROM vlmr_logtransferencia"
                          " ORDER BY rowid")

    # The process.
    def start(self, fake_start=None, extra_env=None):
        """Starts velmora on the virtual display; with `fake_start`
        ("YYYY-MM-DD hh:mm:ss", local time) its clock starts there and runs
        on at normal speed. `extra_env` (a dict) adds variables to the few
        that the process gets, e.g. the ODBC driver list of the tests."""
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "DISPLAY": self.xvfb.display,
            "QT_QPA_PLATFORM": "xcb",
            "XDG_RUNTIME_DIR": self.dir,
            "LANG": "C.UTF-8",
        }
        if "TZ" in os.environ:
            env["TZ"] = os.environ["TZ"]
        if fake_start:
            env["LD_PRELOAD"] = FAKETIME_LIBRARY
            # "@" starts the clock at that moment and lets it run on.
            env["FAKETIME"] = "@" + fake_start
            # Qt's timers use the monotonic clock: leave it alone so that the
            # ticks keep coming every 500 ms.
            env["FAKETIME_DONT_FAKE_MONOTONIC"] = "1"
            # A child process would otherwise start again at fake_start.
            env["FAKETIME_DONT_RESET"] = "1"
            env["FAKETIME_NO_CACHE"] = "1"
        env.update(extra_env or {})
        self.output_file = open(self.output_path, "w")
        self.process = subprocess.Popen([self.args.velmora], cwd=self.dir, env=env,
                                        stdin=subprocess.DEVNULL, stdout=self.output_file,
                                        stderr=subprocess.STDOUT, preexec_fn=_die_with_parent)

    def running(self):
        return self.process is not None and self.process.poll() is None

    def output(self):
        """What the process wrote to standard output and error so far."""
        try:
            with open(self.output_path) as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def stop(self):
        if self.process is None:
            return
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.output_file.close()

    def wait_for(self, predicate, timeout, what):
        """Polls `predicate` every 0.2 s until it returns a true value."""
        deadline = time.monotonic() + timeout
        while True:
            value = predicate()
            if value:
                return value
            if time.monotonic() > deadline:
                raise AssertionError(f"timed out after {timeout} s waiting for {what} "
                                     f"({self.xvfb.describe()}); process output:\n"
                                     f"{self.output()}")
            time.sleep(0.2)

    def wait_for_log_row(self, timeout=60):
        """The first log row with an end time, once one exists."""
        def complete():
            rows = [r for r in self.log_rows() if r[2] is not None]
            return rows[0] if rows else None
        return self.wait_for(complete, timeout, "a complete run-log row")

    # The display.
    def x(self, *command, check=True, attempts=3):
        """Runs an X tool on the display; one that gets no answer within
        X_TOOL_TIMEOUT is killed and started again, `attempts` times in all."""
        for attempt in range(1, attempts + 1):
            try:
                result = subprocess.run(list(command),
                                        env={**os.environ, "DISPLAY": self.xvfb.display},
                                        capture_output=True, text=True, timeout=X_TOOL_TIMEOUT)
                break
            except subprocess.TimeoutExpired:
                print(f"{command[0]} got no answer from {self.xvfb.display} within "
                      f"{X_TOOL_TIMEOUT} s (attempt {attempt} of {attempts})", file=sys.stderr)
                if attempt == attempts:
                    raise
        if check and result.returncode != 0:
            raise RuntimeError(f"{command}: {result.stderr}")
        return result.stdout

    def find_windows(self, title):
        """Ids of the mapped windows captioned exactly `title`; none when the
        search got no answer in time (the callers poll, so they ask again)."""
        try:
            out = self.x("xdotool", "search", "--onlyvisible", "--name", f"^{title}$",
                         check=False, attempts=1)
        except subprocess.TimeoutExpired:
            return []
        return [int(w) for w in out.split()]

    def wait_for_window(self, title, timeout=30):
        return self.wait_for(lambda: self.find_windows(title), timeout, f"window {title!r}")

    def geometry(self, window):
        """(x, y, width, height) of the window's client area on the screen."""
        info = {}
        for line in self.x("xwininfo", "-id", str(window)).splitlines():
            key, _, value = line.strip().partition(":")
            info[key] = value.strip()
        return (int(info["Absolute upper-left X"]), int(info["Absolute upper-left Y"]),
                int(info["Width"]), int(info["Height"]))

    def close_window(self, window):
        """Asks `window` to close, as a window manager's close button does
        (a WM_DELETE_WINDOW message)."""
        send_delete_window(self.xvfb.display, window)

    def screenshot(self, path):
        """Writes a PNG of the whole screen (needs ImageMagick's import)."""
        self.x("import", "-window", "root", path)

    def dismiss_box(self, title="Velmora", timeout=30):
        """Waits for a box captioned `title`, presses its OK button with the
        keyboard, and waits until it is gone. Returns its window id."""
        window = self.wait_for_window(title, timeout)[0]
        self.x("xdotool", "windowfocus", "--sync", str(window), check=False)
        self.x("xdotool", "key", "--clearmodifiers", "Return")
        self.wait_for(lambda: window not in self.find_windows(title), timeout,
                      f"box {title!r} to close")
        return window


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _Event(ctypes.Union):
    _fields_ = [("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


def send_delete_window(display_name, window):
    """Sends WM_DELETE_WINDOW to `window` through Xlib (no window manager
    runs under Xvfb, and xdotool's windowclose destroys the window instead)."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(_Event)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(display_name.encode())
    if not display:
        raise RuntimeError(f"cannot open display {display_name}")
    try:
        event = _Event()
        event.client.type = 33  # ClientMessage
        event.client.window = window
        event.client.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
        event.client.format = 32
        event.client.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        event.client.data[1] = 0  # CurrentTime
        x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
        x11.XFlush(display)
    finally:
        x11.XCloseDisplay(display)


# The exit status that ctest counts as a skipped test (SKIP_RETURN_CODE).
CANNOT_RUN_HERE = 77


class CannotRunHere(Exception):
    """The machine lacks something the test needs (not a fault of the
    system under test)."""


def cannot_run_here(missing):
    """Ends the test: skipped with one line naming what is missing, or
    failed when CI=true (CI must never test less without saying so red)."""
    raise CannotRunHere(missing)


def main(test):
    """Runs `test(args)` and exits 0 when it returns, 1 with the message when
    it raises AssertionError."""
    args = parse_args()
    try:
        test(args)
    except AssertionError as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        sys.exit(1)
    except CannotRunHere as missing:
        print(f"cannot run here: {missing}", flush=True)
        sys.exit(1 if os.environ.get("CI") == "true" else CANNOT_RUN_HERE)
    print("passed")
