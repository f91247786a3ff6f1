// Console on POSIX. A terminal gets UTF-8; redirected output gets UTF-16LE
// units with no byte-order mark. Redirected input is UTF-16LE or UTF-8 lines,
// told apart by its first bytes. Ctrl+C, SIGHUP and SIGTERM keep their
// default action and end the tool at once, except while a file is removed.
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

std::mutex inputLock;  // guards the input state below
// Redirected input is UTF-16LE or UTF-8, as its first bytes tell.
RedirectedInput redirectedInput = [] {
  RedirectedInput input;
  input.encoding = InputEncoding::kDetect;
  return input;
}();
TerminalInput terminalInput;

ByteRead ReadStdin(char* buffer, size_t size) {
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer, size);
    if (got > 0) return {ByteRead::kData, static_cast<size_t>(got)};
    if (got == 0) return {ByteRead::kEnd, 0};
    if (errno == EINTR) continue;
    return {errno == EPIPE ? ByteRead::kEnd : ByteRead::kError, 0};
  }
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

}  // namespace

int InitConsole() {
  signal(SIGPIPE, SIG_IGN);
  OutputIsTerminal();
  return 1;
}

// The signals that end the run; their default action stays.
sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, number);
  return signals;
}

void HoldStopSignals() {
  const sigset_t signals = StopSignals();
  sigprocmask(SIG_BLOCK, &signals, nullptr);
}

void ReleaseStopSignals() {
  const sigset_t signals = StopSignals();
  sigprocmask(SIG_UNBLOCK, &signals, nullptr);
}

bool OutputIsTerminal() {
  static const bool terminal = isatty(STDOUT_FILENO) == 1;
  return terminal;
}

void WriteText(const char16_t* units, size_t count) {
  if (count == 0) return;
  const bool terminal = OutputIsTerminal();
  const Text shown = PosixShownText(units, count, terminal);
  const std::string bytes =
      terminal ? BytesFromText(shown) : Utf16leBytes(shown.data(), shown.size());
  WriteBytes(bytes.data(), bytes.size());
}

Text ReadAnswer() {
  std::lock_guard<std::mutex> lock(inputLock);
  if (isatty(STDIN_FILENO) != 1) return ReadRedirectedLine(redirectedInput, ReadStdin);
  PrepareTerminal();
  return ReadTerminalLine(terminalInput, ReadStdin);
}
