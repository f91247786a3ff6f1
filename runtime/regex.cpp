// Name expressions on PCRE 8.x in UTF-8 mode. The expression and every
// subject are converted with ToUtf8, which always yields valid UTF-8, so
// PCRE's own UTF-8 check stays off.
#include "runtime/regex.h"

#include <pcre.h>

#include <mutex>
#include <string>
#include <vector>

#include "runtime/unicode.h"

namespace {

constexpr int kCompileOptions = PCRE_UTF8 | PCRE_NO_UTF8_CHECK;

// Limits on every match: steps of the matcher, and nested backtracking
// frames. The library keeps those frames on the heap, not the stack (built
// without stack recursion), so the recursion limit bounds the memory one
// match can take. A match that reaches a limit counts as no match. The
// library's own defaults are the same (cmake/pcre.cmake).
constexpr unsigned long kMatchLimit = 10000000;
constexpr unsigned long kRecursionLimit = 50000;

// PCRE's message for the last expression that did not compile on this
// thread.
thread_local std::string compileError;

// Compiled patterns by number; an entry is nullptr after a failed compile.
struct PatternTable {
  std::mutex lock;
  std::vector<pcre*> entries;
};

PatternTable& Patterns() {
  static PatternTable table;
  return table;
}

// Empties entry `number` (creating it when missing) and returns what it held.
pcre* TakeEntry(int number) {
  PatternTable& table = Patterns();
  std::lock_guard<std::mutex> guard(table.lock);
  size_t index = static_cast<size_t>(number);
  if (index >= table.entries.size()) table.entries.resize(index + 1, nullptr);
  pcre* old = table.entries[index];
  table.entries[index] = nullptr;
  return old;
}

}  // namespace

int CompilePattern(int number, const Text& expression) {
  compileError.clear();
  if (number < 0) return 0;
  if (pcre* old = TakeEntry(number)) pcre_free(old);
  std::string utf8 = ToUtf8(expression);
  const char* message = nullptr;
  int offset = 0;
  pcre* compiled = pcre_compile(utf8.c_str(), kCompileOptions, &message, &offset, nullptr);
  if (compiled == nullptr) {
    if (message != nullptr) compileError = message;
    return 0;
  }
  PatternTable& table = Patterns();
  std::lock_guard<std::mutex> guard(table.lock);
  table.entries[static_cast<size_t>(number)] = compiled;
  return 1;
}

int MatchPattern(int number, const Text& subject) {
  pcre* compiled = nullptr;
  {
    PatternTable& table = Patterns();
    std::lock_guard<std::mutex> guard(table.lock);
    size_t index = static_cast<size_t>(number);
    if (number >= 0 && index < table.entries.size()) compiled = table.entries[index];
  }
  if (compiled == nullptr) return 0;
  std::string utf8 = ToUtf8(subject);
  pcre_extra limits{};
  limits.flags = PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION;
  limits.match_limit = kMatchLimit;
  limits.match_limit_recursion = kRecursionLimit;
  int result = pcre_exec(compiled, &limits, utf8.data(), static_cast<int>(utf8.size()), 0,
                         PCRE_NO_UTF8_CHECK, nullptr, 0);
  return result >= 0 ? 1 : 0;
}

Text PatternError() {
  return TextFromBytes(compileError);
}

void ReleaseAllPatterns() {
  PatternTable& table = Patterns();
  std::lock_guard<std::mutex> guard(table.lock);
  for (pcre*& entry : table.entries) {
    if (entry != nullptr) pcre_free(entry);
    entry = nullptr;
  }
}
