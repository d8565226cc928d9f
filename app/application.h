#pragma once

namespace velmora::app {

// Runs the windowed process: installs the window system's message boxes,
// takes the instance lock of the databases it serves (when another process
// holds it, says so on standard error and in a box, and returns 1 once the
// box is dismissed), shows the window and its timer, and returns the exit
// code when the window is closed. `program` is argv[0]; no other argument
// is ever read.
int run(char* program);

}  // namespace velmora::app
