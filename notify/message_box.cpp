#include "notify/message_box.h"

#include <iostream>

namespace velmora {
namespace {
MessageBoxes g_boxes;
}

void set_message_boxes(MessageBoxes boxes) { g_boxes = std::move(boxes); }

const MessageBoxes& message_boxes() { return g_boxes; }

void show_message_box(const std::string& text) {
  if (g_boxes.modal) {
    g_boxes.modal(text);
  } else {
    std::cerr << kApplicationTitle << ": " << text << std::endl;
  }
}

void report_unhandled_failure(const std::string& text) {
  std::cerr << kApplicationTitle << ": " << text << std::endl;
  if (g_boxes.non_blocking) g_boxes.non_blocking(text);
}

}  // namespace velmora
