// Console on POSIX. A terminal gets UTF-8; redirected output gets UTF-16LE
// units with no byte-order mark. Ctrl+C, SIGHUP and SIGTERM keep their default
// action and end the tool at once.
#include <errno.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "runtime/console.h"
#include "runtime/input_lines.h"
#include "runtime/unicode.h"

namespace {

constexpr size_t kTerminalLineUnits = 4096;
constexpr char16_t kCtrlZ = 0x001A;

bool StdoutIsTerminal() {
  static const bool terminal = isatty(STDOUT_FILENO) == 1;
  return terminal;
}

// Writes all bytes; a failing write (a reader gone away, a full disk) is
// ignored, and the run goes on.
void WriteBytes(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(STDOUT_FILENO, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    data += written;
    size -= static_cast<size_t>(written);
  }
}

std::mutex inputLock;             // guards the input state below
RedirectedInput redirectedInput;  // carry-over of redirected input
std::string terminalPushback;     // a byte read beyond the last line piece

ByteRead ReadStdin(char* buffer, size_t size) {
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer, size);
    if (got > 0) return {ByteRead::kData, static_cast<size_t>(got)};
    if (got == 0) return {ByteRead::kEnd, 0};
    if (errno == EINTR) continue;
    return {errno == EPIPE ? ByteRead::kEnd : ByteRead::kError, 0};
  }
}

// One byte from the terminal: 1 read, 0 end of input, -1 error.
int NextTerminalByte(char* byte) {
  if (!terminalPushback.empty()) {
    *byte = terminalPushback.back();
    terminalPushback.pop_back();
    return 1;
  }
  const ByteRead result = ReadStdin(byte, 1);
  if (result.status == ByteRead::kData) return 1;
  return result.status == ByteRead::kEnd ? 0 : -1;
}

// Units that a byte adds to the decoded line: continuation bytes add none,
// a four-byte lead adds a surrogate pair.
size_t UnitsStartedBy(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  if ((value & 0xC0) == 0x80) return 0;
  return value >= 0xF0 ? 2 : 1;
}

// Canonical mode, echo and signals on, every time: a previous program may
// have left the terminal raw. Not restored afterwards.
void PrepareTerminal() {
  termios mode{};
  if (tcgetattr(STDIN_FILENO, &mode) != 0) return;
  mode.c_lflag |= ICANON | ECHO | ISIG;
  mode.c_iflag |= ICRNL;  // Enter must end the line even after a raw-mode program
  mode.c_iflag &= ~static_cast<tcflag_t>(IGNCR | INLCR);
  tcsetattr(STDIN_FILENO, TCSANOW, &mode);
}

// One line from the terminal, at most kTerminalLineUnits units; the rest of
// a longer line comes with the next call.
Text ReadTerminalLine() {
  PrepareTerminal();
  std::string bytes;
  size_t units = 0;
  bool lineEnd = false;
  char byte = 0;
  int got = 0;
  while ((got = NextTerminalByte(&byte)) == 1) {
    if (byte == '\n') {
      lineEnd = true;
      break;
    }
    const size_t added = UnitsStartedBy(byte);
    if (units + added > kTerminalLineUnits) {
      terminalPushback.push_back(byte);
      break;
    }
    units += added;
    bytes.push_back(byte);
  }
  if (got == 0 && bytes.empty()) return Text(1, kEndOfInput);
  if (lineEnd && !bytes.empty() && bytes.back() == '\r') bytes.pop_back();
  Text line = TextFromBytes(bytes);
  if (line.size() == 1 && line[0] == kCtrlZ) line[0] = kEndOfInput;
  return line;
}

}  // namespace

int InitConsole() {
  signal(SIGPIPE, SIG_IGN);
  StdoutIsTerminal();
  return 1;
}

void WriteText(const char16_t* units, size_t count) {
  if (count == 0) return;
  if (StdoutIsTerminal()) {
    const std::string bytes = BytesFromText(Text(units, count));
    WriteBytes(bytes.data(), bytes.size());
    return;
  }
  std::string bytes;
  bytes.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    bytes.push_back(static_cast<char>(units[i] & 0xFF));
    bytes.push_back(static_cast<char>(units[i] >> 8));
  }
  WriteBytes(bytes.data(), bytes.size());
}

void WriteLine(const Text& text) {
  Text line = text;
  line += u"\r\n";
  WriteText(line.data(), line.size());
}

void Write(const Text& text) {
  if (!text.empty()) WriteText(text.data(), text.size());
}

Text ReadLine() {
  std::lock_guard<std::mutex> lock(inputLock);
  if (isatty(STDIN_FILENO) == 1) return ReadTerminalLine();
  return ReadRedirectedLine(redirectedInput, ReadStdin);
}
