// Scripted reads of a byte stream for the line readers' tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "runtime/input_lines.h"

// One scripted read: a block of bytes, an end of input or a failure.
struct Step {
  ByteRead::Status status;
  std::string bytes;
};

inline Step Data(const std::string& bytes) {
  return {ByteRead::kData, bytes};
}
inline const Step kFailure{ByteRead::kError, ""};

// Hands out the steps in order (a block larger than the request goes out in
// pieces), then `after` forever; counts the reads and the largest request.
class ScriptedReader {
 public:
  explicit ScriptedReader(std::vector<Step> steps, ByteRead::Status after = ByteRead::kEnd)
      : steps_(steps.begin(), steps.end()), after_(after) {}

  ByteRead Read(char* buffer, size_t size) {
    ++calls;
    largestRequest = std::max(largestRequest, size);
    if (steps_.empty()) return {after_, 0};
    Step& step = steps_.front();
    if (step.status != ByteRead::kData) {
      const ByteRead result{step.status, 0};
      steps_.pop_front();
      return result;
    }
    const size_t count = std::min(size, step.bytes.size());
    std::memcpy(buffer, step.bytes.data(), count);
    step.bytes.erase(0, count);
    if (step.bytes.empty()) steps_.pop_front();
    return {ByteRead::kData, count};
  }

  ByteReader Reader() {
    return [this](char* buffer, size_t size) { return Read(buffer, size); };
  }

  int calls = 0;
  size_t largestRequest = 0;

 private:
  std::deque<Step> steps_;
  ByteRead::Status after_;
};
