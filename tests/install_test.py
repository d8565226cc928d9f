"""cmake --install of the build tree: velmora and velmora-ctl in P/bin, the
desktop entry in P/share/applications and the autostart entry where the
desktop sessions of prefix P look for it, both naming P/bin/velmora. The
installed velmora-ctl works without the source tree's files.

Usage: install_test.py --build BUILD_DIR"""

import argparse
import os
import subprocess
import sys
import tempfile


def entry(path):
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    assert lines[0] == "[Desktop Entry]", (path, lines)
    return dict(line.split("=", 1) for line in lines[1:] if "=" in line)


def check(build, prefix, destdir, autostart_dir):
    root = destdir + prefix if destdir else prefix
    env = dict(os.environ)
    env.pop("DESTDIR", None)
    if destdir:
        env["DESTDIR"] = destdir
    subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True, env=env,
                   stdout=subprocess.DEVNULL)
    for program in ("velmora", "velmora-ctl"):
        path = os.path.join(root, "bin", program)
        assert os.access(path, os.X_OK), f"{path} missing or not executable"
    exec_line = os.path.join(prefix, "bin", "velmora")
    if " " in exec_line:
        exec_line = f'"{exec_line}"'
    for path in (os.path.join(root, "share/applications/velmora.desktop"),
                 os.path.join(destdir + autostart_dir if destdir else autostart_dir,
                              "velmora.desktop")):
        values = entry(path)
        assert values["Type"] == "Application" and values["Name"] == "Velmora", (path, values)
        assert values["Exec"] == exec_line, (path, values["Exec"], exec_line)
    # The data set's tables are compiled in: seeding needs no schema file.
    with tempfile.TemporaryDirectory() as data:
        result = subprocess.run([os.path.join(root, "bin", "velmora-ctl"), "seed", "--interns",
                                 "3", "--dir", data], capture_output=True, text=True)
        assert result.returncode == 0, result
        assert sorted(os.listdir(data)) == ["CALVERIN.db", "Velmora.db", "consulta_tessarin.db"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    build = parser.parse_args().build
    with tempfile.TemporaryDirectory(prefix="velmora-install-") as scratch:
        try:
            # A prefix of one's own, with a blank that the entries must quote.
            prefix = os.path.join(scratch, "opt velmora")
            check(build, prefix, "", os.path.join(prefix, "etc/xdg/autostart"))
            # The distribution's prefix, staged: its autostart entry goes to /etc/xdg.
            check(build, "/usr", os.path.join(scratch, "staged"), "/etc/xdg/autostart")
        except AssertionError as failure:
            print(f"FAILED: {failure}", file=sys.stderr)
            sys.exit(1)
    print("passed")


if __name__ == "__main__":
    main()
