// Program parameters on POSIX: the shell has already split the command line,
// so the parameters are argv[1..] exactly as given.
#include <unistd.h>

#include <string>
#include <vector>

#include "runtime/parameters.h"
#include "runtime/unicode.h"

namespace {

// A copy of argv, so the service doesn't depend on the caller's storage.
std::vector<std::string>& Arguments() {
  static std::vector<std::string> arguments;
  return arguments;
}

// Index of the parameter NextParameter hands out next, one per thread.
thread_local int64_t parameterCursor = 0;

constexpr size_t kMaxPathBytes = 1 << 16;

}  // namespace

void SetArguments(int argc, char** argv) {
  std::vector<std::string>& arguments = Arguments();
  arguments.clear();
  for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
}

int64_t ParameterCount() {
  return static_cast<int64_t>(Arguments().size()) - 1;
}

Text NextParameter() {
  const std::vector<std::string>& arguments = Arguments();
  const int64_t index = parameterCursor + 1;
  if (index >= static_cast<int64_t>(arguments.size())) return Text();
  ++parameterCursor;
  // Arguments that aren't valid UTF-8 keep their bytes (escaped units).
  return TextFromBytes(arguments[static_cast<size_t>(index)]);
}

Text ExecutablePath() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return Text();
    if (static_cast<size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<size_t>(length));
      break;
    }
    if (buffer.size() >= kMaxPathBytes) return Text();
    buffer.resize(buffer.size() * 2);  // possibly cut: try again with more room
  }
  return TextFromBytes(buffer);
}
