#pragma once

namespace velmora::app {

// Runs the windowed process: installs the window system's message boxes,
// shows the window and its timer, and returns the exit code when the window
// is closed. `program` is argv[0]; no other argument is ever read.
int run(char* program);

}  // namespace velmora::app
