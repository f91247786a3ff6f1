// Splitting of redirected input into answer lines, shared by both builds.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "runtime/text.h"

// The text an answer read gives when input has ended.
inline constexpr char16_t kEndOfInput = 0x0004;

// Outcome of one read from the input.
struct ByteRead {
  enum Status { kData, kEnd, kError } status;
  size_t count;  // bytes delivered when status is kData
};

// Reads up to `size` bytes into `buffer`; kEnd for end of input or a broken
// pipe, kError for any other failure.
using ByteReader = std::function<ByteRead(char* buffer, size_t size)>;

// Longest redirected line in units: a longer one is one answer made of its
// first units, and the rest of it up to its line end is dropped. Input that
// brings no line end within a further kMaxDroppedUnits counts as ended, so
// endless input without a line end neither exhausts memory nor hangs.
inline constexpr size_t kMaxRedirectedLineUnits = 65536;
inline constexpr size_t kMaxDroppedUnits = 1048576;

// How redirected input is decoded.
enum class InputEncoding {
  kUtf16le,  // UTF-16LE units; CR, LF or CR LF end a line
  kUtf8,     // UTF-8; LF or CR LF end a line
  kDetect,   // UTF-16LE when it starts with a byte-order mark or its second
             // byte is 0, otherwise UTF-8 (a UTF-8 mark is skipped); decided
             // from the first read alone
};

// State kept between lines.
struct RedirectedInput {
  InputEncoding encoding = InputEncoding::kUtf16le;
  size_t lineLimit = kMaxRedirectedLineUnits;
  size_t dropLimit = kMaxDroppedUnits;
  std::string bytes;  // read but not decoded yet: an odd byte, the
                      // start of a UTF-8 sequence, or an undecided start
  Text units;         // decoded units; those from `start` on are unused
  size_t start = 0;
  bool skipLineFeed = false;  // a line ended at a CR that was the last unit
                              // read: an LF coming next is part of its end
  bool ended = false;         // the input has ended; nothing more is read
  bool dropRest = false;      // the last line was cut at lineLimit: the rest
                              // of it goes before the next line
  bool markChecked = false;   // a UTF-8 byte-order mark at the start is gone
};

// One line without its end, or the end-of-input marker once everything has
// been handed out and the input has ended. A read error gives what was
// gathered so far (possibly the empty text) and no marker.
Text ReadRedirectedLine(RedirectedInput& state, const ByteReader& read);
