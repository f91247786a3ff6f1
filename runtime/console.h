// Console: every line the tool shows and the one thing it reads, the answer
// to a confirmation. Nothing is ever written to standard error.
#pragma once

#include <cstddef>
#include <functional>

#include "runtime/input_lines.h"
#include "runtime/text.h"

// Prepares output and input handling; returns 1 in every case.
int InitConsole();

// The one place that writes to standard output.
void WriteText(const char16_t* units, size_t count);

// Writes the text and CR LF; the whole line is one write.
void WriteLine(const Text& text);

// Writes the text without a line end. When the output is not a terminal the
// text waits for the rest of its line (or for the next ReadLine).
void Write(const Text& text);

// One line of input without its line end, or the end-of-input marker.
Text ReadLine();

// True once a text could not be written whole for another reason than a
// reader that went away (a full or failing file system, a file size limit):
// the log of the run is incomplete from there on.
bool OutputFailed();

// Holds back every signal that would end the process (SIGINT, SIGTERM,
// SIGHUP, SIGQUIT, SIGXFSZ, SIGALRM, SIGUSR1 and the like) while one file is
// removed and its line written; ReleaseStopSignals then lets a held signal
// end the run, so the log of a stopped run names every file the run removed.
// At any other moment they act at once. No-ops where the system has no such
// signals.
void HoldStopSignals();
void ReleaseStopSignals();

// What runs when the user closes the console window, before the system ends
// the process (Windows build): the driver's release of what the run holds.
void SetCloseRoutine(void (*release)());

// Runs the routine given to SetCloseRoutine, if any.
void RunCloseRoutine();

// ---- Shared by the platform units (console_posix, console_win32) ----

// True when standard output is a terminal or console (platform unit).
bool OutputIsTerminal();

// Notes that a write failed (platform unit), for OutputFailed.
void NoteOutputFailure();

// Reads one answer from standard input (platform unit); ReadLine first
// writes what Write still holds.
Text ReadAnswer();

// The text as it is shown on both builds: every control character (U+0000 to
// U+001F, U+007F, U+0080 to U+009F), bidirectional control (U+202A to U+202E,
// U+2066 to U+2069), zero-width character (U+200B to U+200F, U+2060, U+FEFF)
// and line or paragraph separator (U+2028, U+2029) becomes "?", so no name can
// start a line of its own, drive a terminal, or reorder or split the tool's
// lines.
Text ShownText(const Text& text);

// What the POSIX build writes of the units: on a terminal, a unit standing
// for an undecodable name byte becomes "?", as it would go out as that raw
// byte (0x9B starts an escape sequence on an 8-bit terminal). Redirected
// output writes such a unit as U+FFFD.
Text PosixShownText(const char16_t* units, size_t count, bool terminal);

// Appends the UTF-16LE bytes, low byte first, of what redirected output
// shows of the units: an unpaired surrogate (such as a unit
// standing for an undecodable name byte) becomes U+FFFD, so the bytes are
// always valid UTF-16. One pass, straight into `bytes`.
void AppendRedirectedBytes(const char16_t* units, size_t count, std::string& bytes);

// A console line holding only Ctrl+Z (U+001A) is the end-of-input marker.
Text ConsoleAnswer(Text line);

// Shapes the tool's texts into writes to `sink`. With `immediate` (a
// terminal) each text is written at once; otherwise the text of Write calls
// is held until its line ends, so every line is a single write.
class OutputLines {
 public:
  using Sink = std::function<void(const char16_t* units, size_t count)>;
  OutputLines(Sink sink, bool immediate);

  void Write(const Text& text);
  void WriteLine(const Text& text);
  // Writes what is held, so a prompt is seen before its answer is read.
  void Release();

 private:
  Sink sink_;
  bool immediate_;
  Text held_;
};

// Typed input of a POSIX terminal: once the user has ended it (Ctrl+D on an
// empty line), every later answer is the end-of-input marker, read no more.
struct TerminalInput {
  bool ended = false;
};

// Units kept of one typed answer.
inline constexpr size_t kTypedLineUnits = 4096;

// One typed UTF-8 line from a terminal, read byte by byte up to its LF,
// without its line end; at most kTypedLineUnits units are kept and the rest
// of a longer line is read and dropped, so it never answers the next file.
// A read error gives what was typed so far.
Text ReadTerminalLine(TerminalInput& state, const ByteReader& read);

// Reads up to `size` units from the console into `buffer`; false when the
// input is no console.
using UnitReader = std::function<bool(char16_t* buffer, size_t size, size_t* received)>;

// One answer from the Windows console: one read of up to kTypedLineUnits
// units, its CR LF dropped. A line longer than one read is read to its end
// and the rest dropped. False, with nothing read, when the input is no
// console.
bool ReadConsoleLine(const UnitReader& read, Text* line);
