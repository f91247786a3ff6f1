// Console on POSIX. A terminal gets UTF-8; redirected output gets UTF-16LE
// units with no byte-order mark. Redirected input is UTF-16LE or UTF-8 lines,
// told apart by its first bytes. Ctrl+C, SIGHUP, SIGTERM and every other
// signal that ends a process end the tool at once, except while a file is
// removed.
#include <errno.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <mutex>
#include <string>

#include "runtime/console.h"
#include "runtime/input_lines.h"
#include "runtime/unicode.h"

namespace {

// Writes all bytes. A reader that went away lets the run go on; any other
// failure (a full disk, a file size limit) is noted.
void WriteBytes(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(STDOUT_FILENO, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0 || errno != EPIPE) NoteOutputFailure();
      return;
    }
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

// Signals during a removal: 0 outside one, 1 while one is under way,
// kHeldBase + the signal's number once a signal came during it. A flag, not
// the signal mask, so a removal costs no system call of its own.
constexpr int kHeldBase = 100;
std::atomic<int> stopState{0};
static_assert(std::atomic<int>::is_always_lock_free);

// Ends the process by the signal's default action, as if it had no handler.
void EndBySignal(int number) {
  signal(number, SIG_DFL);
  raise(number);  // in a handler, delivered as soon as the handler returns
}

void OnStopSignal(int number) {
  int expected = 1;
  if (stopState.compare_exchange_strong(expected, kHeldBase + number)) return;
  if (expected >= kHeldBase) return;  // one held signal is enough
  EndBySignal(number);
}

// Whether the signal's default action ends the process and it comes from
// outside: not one that stops, continues or is ignored by default, nor one
// that reports a fault of the tool itself (a handler that returned would
// meet the fault again), nor SIGKILL and SIGSTOP, which can't be caught.
constexpr int kNeverHeld[] = {SIGKILL, SIGSTOP, SIGCHLD, SIGCONT, SIGURG,  SIGWINCH,
                              SIGTSTP, SIGTTIN, SIGTTOU, SIGPIPE, SIGSEGV, SIGBUS,
                              SIGILL,  SIGFPE,  SIGTRAP, SIGSYS,  SIGABRT};
bool HeldWhileRemoving(int number) {
  return std::find(std::begin(kNeverHeld), std::end(kNeverHeld), number) == std::end(kNeverHeld);
}

// Catches every signal held during a removal, unless it was ignored when the
// tool started (as nohup and background jobs of a shell leave SIGHUP or
// SIGINT). Done at the first removal: until then every signal keeps its
// default action, so a run that waits in the kernel while it resolves or
// lists the directory (a hung file system, a directory lock that another
// process holds) ends on SIGTERM as any process does, which a caught signal
// would not do. Afterwards the handler acts as the default action at once
// outside a removal; the deletion pass then only writes lines and reads
// answers, which a caught signal interrupts too.
void CatchEndingSignals() {
  for (int number = 1; number <= SIGRTMAX; ++number) {
    struct sigaction action {};
    if (!HeldWhileRemoving(number) || sigaction(number, nullptr, &action) != 0 ||
        action.sa_handler == SIG_IGN) {
      continue;
    }
    action = {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(number, &action, nullptr);
  }
}

bool endingSignalsCaught = false;

}  // namespace

int InitConsole() {
  signal(SIGPIPE, SIG_IGN);
  OutputIsTerminal();
  return 1;
}

void HoldStopSignals() {
  if (!endingSignalsCaught) CatchEndingSignals();
  endingSignalsCaught = true;
  stopState.store(1);
}

// A signal that came meanwhile acts now, by its default action.
void ReleaseStopSignals() {
  const int state = stopState.exchange(0);
  if (state >= kHeldBase) EndBySignal(state - kHeldBase);
}

bool OutputIsTerminal() {
  static const bool terminal = isatty(STDOUT_FILENO) == 1;
  return terminal;
}

void WriteText(const char16_t* units, size_t count) {
  if (count == 0) return;
  if (OutputIsTerminal()) {
    const std::string bytes = BytesFromText(PosixShownText(units, count, true));
    WriteBytes(bytes.data(), bytes.size());
    return;
  }
  // Kept from one line to the next, so a million lines cost no allocation each.
  static std::string bytes;
  bytes.clear();
  AppendRedirectedBytes(units, count, bytes);
  WriteBytes(bytes.data(), bytes.size());
}

Text ReadAnswer() {
  std::lock_guard<std::mutex> lock(inputLock);
  if (isatty(STDIN_FILENO) != 1) return ReadRedirectedLine(redirectedInput, ReadStdin);
  PrepareTerminal();
  return ReadTerminalLine(terminalInput, ReadStdin);
}
