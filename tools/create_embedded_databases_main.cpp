#include <iostream>

#include "tools/embedded_databases.h"

// Usage: velmora-create-databases DIR
// Prepares empty embedded databases for a first start on the embedded default.
int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " DIR\n";
    return 2;
  }
  try {
    velmora::tools::create_embedded_databases(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
