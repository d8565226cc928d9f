"""A failed run of the real process sends the failure notice to port 25 of
127.0.0.1. When the mail server refuses it, a box captioned "Velmora" holds
the run until it is dismissed, after which the run completes its log row;
when the server accepts it, exactly one message arrives and no box appears.

The test runs in a network namespace of its own (as root, or else inside a
user namespace of its own), so its SMTP server can listen on port 25
without clashing with anything else on the machine or with other tests; its
display has a number reserved like every test's and X sockets in a
/tmp/.X11-unix of its own."""

import ctypes
import ctypes.util
import fcntl
import os
import socket
import struct
import subprocess
import tempfile
import time

import harness

DATE = "2026-12-08"
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SMTP_SERVER = os.path.join(ROOT, "tools", "smtp-test-server.py")


def enter_own_network():
    """Moves this process (and so everything it starts) into a new network
    namespace whose loopback interface is up and empty, and into a mount
    namespace with a /tmp/.X11-unix of its own: the X sockets of this test's
    display then neither reach nor replace those of any display outside."""
    libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
    clone_newns, clone_newnet, clone_newuser = 0x00020000, 0x40000000, 0x10000000
    uid, gid = os.geteuid(), os.getegid()
    # The mount point: X servers make it on first use, and a fresh machine
    # may not have run one yet.
    if not os.path.isdir("/tmp/.X11-unix"):
        os.makedirs("/tmp/.X11-unix", exist_ok=True)
        os.chmod("/tmp/.X11-unix", 0o1777)
    # Without root, a user namespace of its own gives the rights over the new
    # namespaces (the kernel must allow unprivileged user namespaces).
    flags = clone_newns | clone_newnet
    if uid != 0:
        flags |= clone_newuser
    needs = ("network and mount namespaces (root, or unprivileged user namespaces; not a "
             "plain chroot nor an unprivileged container)")
    if libc.unshare(flags) != 0:
        harness.cannot_run_here(f"{needs}: unshare: {os.strerror(ctypes.get_errno())}")
    if uid != 0:
        for name, text in (("setgroups", "deny"), ("uid_map", f"0 {uid} 1"),
                           ("gid_map", f"0 {gid} 1")):
            with open(f"/proc/self/{name}", "w") as f:
                f.write(text)
    ms_rec, ms_private = 0x4000, 0x40000
    libc.mount.argtypes = [ctypes.c_char_p] * 3 + [ctypes.c_ulong, ctypes.c_char_p]
    if libc.mount(None, b"/", None, ms_rec | ms_private, None) != 0:
        harness.cannot_run_here(f"{needs}, with / a mount point: making / private: "
                                + os.strerror(ctypes.get_errno()))
    if libc.mount(b"tmpfs", b"/tmp/.X11-unix", b"tmpfs", 0, b"mode=1777") != 0:
        harness.cannot_run_here(f"{needs}: a tmpfs on /tmp/.X11-unix: "
                                + os.strerror(ctypes.get_errno()))
    siocgifflags, siocsifflags, iff_up = 0x8913, 0x8914, 0x1
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        request = struct.pack("16sh", b"lo", 0)
        flags = struct.unpack("16sh", fcntl.ioctl(s, siocgifflags, request))[1]
        fcntl.ioctl(s, siocsifflags, struct.pack("16sh", b"lo", flags | iff_up))


class SmtpServer:
    """tools/smtp-test-server.py on port 25 in `mode` (accept or reject)."""

    def __init__(self, mode):
        self.dir = tempfile.mkdtemp(prefix="velmora-smtp-")
        self.process = subprocess.Popen(["/usr/bin/python3", SMTP_SERVER, mode, self.dir, "25"])
        deadline = time.monotonic() + 20
        while not os.path.exists(os.path.join(self.dir, "port")):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise AssertionError("the SMTP test server did not start on port 25")
            time.sleep(0.05)

    def messages(self):
        names = sorted(n for n in os.listdir(self.dir)
                       if n.startswith("message-") and not n.endswith(".tmp"))
        result = []
        for name in names:
            folder = os.path.join(self.dir, name)
            result.append({f: open(os.path.join(folder, f), encoding="utf-8",
                                   errors="surrogateescape").read()
                           for f in os.listdir(folder)})
        return result

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        subprocess.run(["rm", "-rf", self.dir], check=False)


def break_the_transfer(env):
    """The payment transfer fails: its source table is gone."""
    env.seed("Velmora", "DROP TABLE vlmr_pagamento")


def refused_notice_holds_the_run_behind_a_box(args):
    server = SmtpServer("reject")
    try:
        with harness.Environment(args) as env:
            break_the_transfer(env)
            env.start(fake_start=f"{DATE} 00:29:57")
            env.wait_for_window("Form1")
            assert len(env.wait_for_window("Velmora", timeout=60)) == 1, "more than one box"

            rows = env.log_rows()
            assert len(rows) == 1 and rows[0][2] is None, \
                f"the run must wait for the box before its end row: {rows}"
            # Ticks go on behind the box; none of them may start a second run.
            time.sleep(1.5)
            assert len(env.log_rows()) == 1, f"log rows: {env.log_rows()}"

            env.dismiss_box("Velmora")
            data, _, end, outcome = env.wait_for_log_row(timeout=30)
            assert data == DATE and end.endswith(" "), f"log row: {env.log_rows()}"
            assert "vlmr_pagamento" in outcome, f"erro {outcome!r}"
            assert server.messages() == [], "a refused notice arrived"
            assert env.find_windows("Form1"), "the window went away"
            assert env.running(), f"the process ended after the run:\n{env.output()}"
    finally:
        server.stop()


def accepted_notice_arrives_once_without_a_box(args):
    server = SmtpServer("accept")
    try:
        with harness.Environment(args) as env:
            break_the_transfer(env)
            env.start(fake_start=f"{DATE} 00:29:57")
            env.wait_for_window("Form1")
            _, _, end, outcome = env.wait_for_log_row(timeout=60)
            assert "vlmr_pagamento" in outcome, f"erro {outcome!r}"
            time.sleep(3)  # room for a second notice or a late box
            messages = server.messages()
            assert len(messages) == 1, f"{len(messages)} messages arrived"
            mail = messages[0]
            assert mail["mail_from"] == "consulta@localhost", mail["mail_from"]
            assert mail["rcpt_tos"] == "consulta@localhost", mail["rcpt_tos"]
            assert mail["from_name"] == "NPX", mail["from_name"]
            assert mail["subject"] == "Erro na atualização do Consulta Velmora", mail["subject"]
            assert mail["body"] == "O Sistema de Consulta não foi alterado,pois houve um erro\n", \
                mail["body"]
            assert mail["defects"] == "", mail["defects"]
            assert env.find_windows("Velmora") == [], "a box appeared"
            assert env.running(), f"the process ended after the run:\n{env.output()}"
    finally:
        server.stop()


def test(args):
    enter_own_network()
    refused_notice_holds_the_run_behind_a_box(args)
    accepted_notice_arrives_once_without_a_box(args)


if __name__ == "__main__":
    harness.main(test)
