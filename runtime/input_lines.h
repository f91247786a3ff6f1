// Splitting of redirected UTF-16LE input into lines, shared by both builds.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "runtime/text.h"

// Outcome of one read from the redirected input.
struct ByteRead {
  enum Status { kData, kEnd, kError } status;
  size_t count;  // bytes delivered when status is kData
};

// Reads up to `size` bytes into `buffer`; kEnd for end of input or a broken
// pipe, kError for any other failure.
using ByteReader = std::function<ByteRead(char* buffer, size_t size)>;

// State kept between lines: units after the last line end, and an odd byte
// that waits for its partner from the next read.
struct RedirectedInput {
  Text carryOver;
  bool hasCarryOver = false;
  int pendingByte = -1;
};

// One line without its end (CR, LF or CR LF), or the end-of-input marker
// when nothing at all was gathered before the input ended.
Text ReadRedirectedLine(RedirectedInput& state, const ByteReader& read);
