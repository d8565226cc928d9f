"""The process shows one window "Form1" with a 40 x 40 pixel client area at
96 dpi, and closing it ends the process."""

import harness


def test(args):
    with harness.Environment(args, dpi=96) as env:
        env.start()
        windows = env.wait_for_window("Form1")
        assert len(windows) == 1, f"windows captioned Form1: {windows}"
        x, y, width, height = env.geometry(windows[0])
        assert (width, height) == (40, 40), f"client area {width} x {height}"
        assert env.running(), "the process ended by itself"
        env.close_window(windows[0])
        env.wait_for(lambda: not env.running(), 15, "the process to end on closing its window")
        assert env.process.returncode == 0, f"exit code {env.process.returncode}"


if __name__ == "__main__":
    harness.main(test)
