"""The monitoring of a real night: velmora under Xvfb with its clock moved
by libfaketime across 00:30:00, and velmora-ctl status --prometheus and
--check beside it, on the same scratch databases.

- before the night: the nightly process is up, no run is logged;
- after it: the run's start and end, its success, the time of the last
  success and the tables' rows are in the metrics file, which promtool
  accepts both times; the check's first line names what is still wrong
  (the nights before the process was started).
"""

import argparse
import os
import subprocess
import time

import harness

DATE = "2026-12-08"


def parse_ctl():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ctl", required=True)
    return parser.parse_known_args()[0].ctl


def status(ctl, cwd, now, *words):
    """velmora-ctl status `words` in `cwd` with its clock at `now`."""
    env = {
        "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
        "LANG": "C.UTF-8",
        "LD_PRELOAD": harness.FAKETIME_LIBRARY,
        "FAKETIME": "@" + now,
        "FAKETIME_DONT_RESET": "1",
    }
    if "TZ" in os.environ:
        env["TZ"] = os.environ["TZ"]
    return subprocess.run([ctl, "status", *words], cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=120)


def metrics(ctl, cwd, now):
    """The metrics file written at `now`, as {sample: value}, checked by promtool."""
    path = os.path.join(cwd, "velmora.prom")
    result = status(ctl, cwd, now, "--prometheus", path)
    assert result.returncode == 0, result
    checked = subprocess.run(["promtool", "check", "metrics"], stdin=open(path),
                             capture_output=True, text=True)
    assert checked.returncode == 0, (checked.stdout, checked.stderr)
    samples = {}
    with open(path) as f:
        for line in f:
            if not line.startswith("#"):
                name, value = line.rsplit(" ", 1)
                samples[name] = float(value)
    leftovers = [name for name in os.listdir(cwd) if name.endswith(".tmp")]
    assert not leftovers, leftovers
    return samples


def unix(text):
    return time.mktime(time.strptime(text, "%Y-%m-%d %H:%M:%S"))


def test(args):
    ctl = parse_ctl()
    with harness.Environment(args) as env:
        env.start(fake_start=f"{DATE} 00:29:35")
        env.wait_for_window("Form1")

        before = metrics(ctl, env.dir, f"{DATE} 00:29:50")
        assert env.log_rows() == [], "the night ran before the first look; the machine is too slow"
        assert before["velmora_nightly_process_up"] == 1, before
        assert before["velmora_run_in_progress"] == 0, before
        assert "velmora_last_success_timestamp_seconds" not in before, before
        assert before["velmora_missed_nights"] == 7, before

        data, start, end, outcome = env.wait_for_log_row(timeout=90)
        assert (data, start, outcome) == (DATE, "00:30:00 ", " SEM ERRO"), env.log_rows()
        after = metrics(ctl, env.dir, f"{DATE} 00:31:00")
        ended = unix(f"{DATE} {end.strip()}")
        assert after["velmora_last_run_start_timestamp_seconds"] == unix(f"{DATE} 00:30:00"), after
        assert after["velmora_last_run_end_timestamp_seconds"] == ended, after
        assert after["velmora_last_success_timestamp_seconds"] == ended, after
        assert after["velmora_last_run_success"] == 1, after
        assert after["velmora_last_run_failure_number"] == 0, after
        assert after["velmora_nightly_process_up"] == 1, after
        assert after['velmora_table_rows{table="cons_estagiario"}'] == 0, after
        assert after['velmora_snapshot_rows{pair="2026_12_07",table="cons_estagiario"}'] == 0, after
        assert after["velmora_missed_nights"] == 6, after

        check = status(ctl, env.dir, f"{DATE} 00:31:00", "--check")
        first = check.stdout.splitlines()[0]
        assert check.returncode == 1, check
        assert first.startswith("VELMORA WARNING - nights of the last week without a run: "
                                "2026-12-07, 2026-12-06, "), first
        assert first.endswith(" | duration=" + str(int(ended - unix(f"{DATE} 00:30:00"))) +
                              "s;;; interns=0;;; payments=0;;;"), first


if __name__ == "__main__":
    harness.main(test)
