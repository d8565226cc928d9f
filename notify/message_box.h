#pragma once

#include <functional>
#include <string>

namespace velmora {

// The application's title, the caption of its message boxes.
inline constexpr const char* kApplicationTitle = "Velmora";

// Shows a modal message box captioned "Velmora" with `text`, a single OK
// button and no icon, and returns when it is dismissed. Without a window
// system installed (the core on its own, tests) the text goes to standard
// error and the call returns at once.
void show_message_box(const std::string& text);

// Reports a failure that no run can handle any more: a line on standard
// error and, with a window system, a box captioned "Velmora" that does not
// block the process.
void report_unhandled_failure(const std::string& text);

// The seam through which app/ installs the window system's boxes and tests
// install their own. Empty functions restore the defaults.
struct MessageBoxes {
  std::function<void(const std::string&)> modal;
  std::function<void(const std::string&)> non_blocking;
};
void set_message_boxes(MessageBoxes boxes);
// The boxes installed now (empty functions for the defaults).
const MessageBoxes& message_boxes();

}  // namespace velmora
