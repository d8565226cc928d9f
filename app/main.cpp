#include "app/application.h"

int main(int, char** argv) { return velmora::app::run(argv[0]); }
