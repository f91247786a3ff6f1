// Process entry.
#include "driver/run_tool.h"
#include "runtime/parameters.h"

#ifdef _WIN32
int wmain() {
  RunTool();
}
#else
int main(int argc, char** argv) {
  SetArguments(argc, argv);
  RunTool();
}
#endif
