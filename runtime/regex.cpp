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
// frames, low enough that no name costs more than about a tenth of a
// millisecond (a file name has at most 255 bytes, and sane expressions need
// a few hundred steps on the longest), so names made against an expression
// that backtracks badly cannot hold a run for hours. The library keeps its
// frames on the heap, not the stack (built without stack recursion). A match
// that reaches a limit counts as no match. The build sets both values, for
// this unit and as the library's own defaults (cmake/pcre.cmake).
constexpr unsigned long kMatchLimit = CLEANUP_PCRE_MATCH_LIMIT;
constexpr unsigned long kRecursionLimit = CLEANUP_PCRE_RECURSION_LIMIT;

// PCRE's message for the last expression that did not compile on this
// thread.
thread_local std::string compileError;

// Compiled patterns by number; an entry is nullptr after a failed compile.
struct PatternEntry {
  pcre* compiled = nullptr;
  int64_t limitHits = 0;  // matches that ran into a limit
};
struct PatternTable {
  std::mutex lock;
  std::vector<PatternEntry> entries;
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
  if (index >= table.entries.size()) table.entries.resize(index + 1);
  pcre* old = table.entries[index].compiled;
  table.entries[index] = PatternEntry{};
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
  table.entries[static_cast<size_t>(number)].compiled = compiled;
  return 1;
}

namespace {

// The entry under `number`, or nullptr; the table's lock must be held.
PatternEntry* EntryOf(PatternTable& table, int number) {
  const size_t index = static_cast<size_t>(number);
  return number >= 0 && index < table.entries.size() ? &table.entries[index] : nullptr;
}

}  // namespace

int MatchPattern(int number, const Text& subject) {
  PatternTable& table = Patterns();
  pcre* compiled = nullptr;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    if (const PatternEntry* entry = EntryOf(table, number)) compiled = entry->compiled;
  }
  if (compiled == nullptr) return 0;
  std::string utf8 = ToUtf8(subject);
  pcre_extra limits{};
  limits.flags = PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION;
  limits.match_limit = kMatchLimit;
  limits.match_limit_recursion = kRecursionLimit;
  int result = pcre_exec(compiled, &limits, utf8.data(), static_cast<int>(utf8.size()), 0,
                         PCRE_NO_UTF8_CHECK, nullptr, 0);
  if (result == PCRE_ERROR_MATCHLIMIT || result == PCRE_ERROR_RECURSIONLIMIT) {
    std::lock_guard<std::mutex> guard(table.lock);
    PatternEntry* entry = EntryOf(table, number);
    if (entry != nullptr && entry->compiled == compiled) ++entry->limitHits;
  }
  return result >= 0 ? 1 : 0;
}

int64_t PatternLimitHits(int number) {
  PatternTable& table = Patterns();
  std::lock_guard<std::mutex> guard(table.lock);
  const PatternEntry* entry = EntryOf(table, number);
  return entry == nullptr ? 0 : entry->limitHits;
}

Text PatternError() {
  return TextFromBytes(compileError);
}

void ReleaseAllPatterns() {
  PatternTable& table = Patterns();
  std::lock_guard<std::mutex> guard(table.lock);
  for (PatternEntry& entry : table.entries) {
    if (entry.compiled != nullptr) pcre_free(entry.compiled);
    entry = PatternEntry{};
  }
}
