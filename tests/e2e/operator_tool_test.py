"""velmora-ctl as an operator meets it: its own process, its exit statuses
and output, on the scratch databases of a velmora_e2e process.

- bad command lines end with status 2 and one line; --help with 0;
- seed refuses existing databases without --force, and the same options on
  the same day give the same files;
- run-now shows its progress as plain lines when not on a terminal, ends
  with " SEM ERRO", and refuses a second run on the date;
- a second velmora for the same databases says so in a box and on standard
  error and ends with status 1, while the first goes on; status sees the
  running one.
"""

import argparse
import os
import shutil
import sqlite3
import subprocess
import tempfile

import harness

NOW = "2026-12-08 10:00:00"


def parse_ctl():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ctl", required=True)
    return parser.parse_known_args()[0].ctl


def run_ctl(ctl, cwd, *words):
    """velmora-ctl `words` in `cwd` with its clock at NOW."""
    env = {
        "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
        "LANG": "C.UTF-8",
        "LD_PRELOAD": harness.FAKETIME_LIBRARY,
        "FAKETIME": "@" + NOW,
        "FAKETIME_DONT_RESET": "1",
    }
    if "TZ" in os.environ:
        env["TZ"] = os.environ["TZ"]
    return subprocess.run([ctl, *words], cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=240)


def dump(directory):
    out = {}
    for catalog in harness.CATALOGS:
        connection = sqlite3.connect(os.path.join(directory, catalog + ".db"))
        try:
            out[catalog] = list(connection.iterdump())
        finally:
            connection.close()
    return out


def check_command_lines(ctl, cwd):
    bad = [
        ([], "a command is needed"),
        (["frobnicate"], "unknown command 'frobnicate'"),
        (["seed", "--interns", "0"], "--interns must be a whole number from 1"),
        (["seed", "--bogus"], "unknown option --bogus"),
        (["seed", "--dir"], "option --dir needs a value DIR"),
        (["restore"], "option --suffix is required"),
        (["restore", "--suffix", "2026-12-07"], "--suffix must read yyyy_mm_dd"),
        (["run-now", "now"], "unexpected argument 'now'"),
    ]
    for words, fragment in bad:
        result = run_ctl(ctl, cwd, *words)
        lines = result.stderr.splitlines()
        assert result.returncode == 2, (words, result.returncode, result.stderr)
        assert len(lines) == 1 and lines[0].startswith("velmora-ctl") and fragment in lines[0], \
            (words, result.stderr)
    for name in ("seed", "check", "status", "run-now", "restore"):
        result = run_ctl(ctl, cwd, name, "--help")
        assert result.returncode == 0 and result.stdout.startswith(f"usage: velmora-ctl {name}"), \
            (name, result.stdout, result.stderr)


def test(args):
    ctl = parse_ctl()
    with harness.Environment(args) as env:
        check_command_lines(ctl, env.dir)

        # The harness made empty databases: seed keeps them unless forced.
        refused = run_ctl(ctl, env.dir, "seed", "--interns", "200")
        assert refused.returncode == 1 and "refusing to replace" in refused.stderr, refused
        assert env.query("Velmora", "SELECT count(*) FROM vlmr_estagiario") == [(0,)]
        seeded = run_ctl(ctl, env.dir, "seed", "--interns", "200", "--seed", "5", "--force")
        assert seeded.returncode == 0, seeded
        other = tempfile.mkdtemp(prefix="velmora-seed-")
        try:
            again = run_ctl(ctl, env.dir, "seed", "--interns", "200", "--seed", "5", "--dir", other)
            assert again.returncode == 0, again
            assert dump(env.dir) == dump(other), "the same options gave different files"
        finally:
            shutil.rmtree(other, ignore_errors=True)

        night = run_ctl(ctl, env.dir, "run-now")
        assert night.returncode == 0, night
        lines = night.stdout.splitlines()
        for expected in ("interns: 10% (20 of 200", "interns: 100% (200 of 200",
                         "payments: 50% (1200 of 2400", "payments: 100% (2400 of 2400"):
            assert any(line.startswith(expected) for line in lines), (expected, night.stdout)
        assert "cons_estagiario: 200 rows written" in lines, night.stdout
        assert lines[-1] == "outcome:  SEM ERRO", night.stdout
        assert env.log_rows()[-1][0] == "2026-12-08" and env.log_rows()[-1][3] == " SEM ERRO"
        second = run_ctl(ctl, env.dir, "run-now")
        assert second.returncode == 1 and "exists already" in second.stderr, second

        env.start(fake_start=NOW)
        env.wait_for_window("Form1")
        status = run_ctl(ctl, env.dir, "status")
        assert status.returncode == 0, status
        assert f"Nightly process: running (velmora, pid {env.process.pid}, since " in status.stdout, \
            status.stdout

        display_env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"),
                       "DISPLAY": env.xvfb.display, "QT_QPA_PLATFORM": "xcb",
                       "XDG_RUNTIME_DIR": env.dir, "LANG": "C.UTF-8"}
        duplicate = subprocess.Popen([args.velmora], cwd=env.dir, env=display_env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True)
        try:
            env.dismiss_box("Velmora")
            output, _ = duplicate.communicate(timeout=30)
        finally:
            if duplicate.poll() is None:
                duplicate.kill()
                duplicate.wait()
        assert duplicate.returncode == 1, (duplicate.returncode, output)
        assert "Velmora: O Velmora já está em execução para estes bancos de dados (pid " \
               f"{env.process.pid}, desde " in output, output
        assert env.running(), f"the first process ended:\n{env.output()}"


if __name__ == "__main__":
    harness.main(test)
