// Test doubles linked in place of the platform services.
#include "fakes/fake_services.h"

#include <algorithm>
#include <deque>

#include "runtime/console.h"
#include "runtime/dates.h"
#include "runtime/file_system/file_system.h"
#include "runtime/file_system/name_block.h"
#include "runtime/file_system/removal_policy.h"
#include "runtime/parameters.h"

namespace fake {

namespace {

// What the fake scan hands out as its open directory.
constexpr intptr_t kOpenDirectory = 3;

struct Scan {
  bool open = false;
  std::vector<const Entry*> matches;
  size_t next = 0;
  const Entry* current = nullptr;
};

// Everything the fakes hold; Reset starts it afresh.
struct State {
  Directory directory;
  int64_t clock = 0;
  std::vector<Text> removed;
  std::vector<Text> linksExamined;
  Text output;
  std::deque<Text> answers;
  std::vector<Text> parameters;
  size_t cursor = 0;  // of the next parameter
  Scan scan;
} state;

}  // namespace

Directory& directory() {
  return state.directory;
}
int64_t& clock() {
  return state.clock;
}
std::vector<Text>& removed() {
  return state.removed;
}
Text& output() {
  return state.output;
}
std::deque<Text>& answers() {
  return state.answers;
}
std::vector<Text>& parameters() {
  return state.parameters;
}
std::vector<Text>& linksExamined() {
  return state.linksExamined;
}

void Reset() {
  state = State();
}

std::vector<Text> OutputLines() {
  std::vector<Text> lines;
  Text rest = output();
  size_t end;
  while ((end = rest.find(u"\r\n")) != Text::npos) {
    lines.push_back(rest.substr(0, end));
    rest.erase(0, end + 2);
  }
  if (!rest.empty()) lines.push_back(rest);
  return lines;
}

}  // namespace fake

using fake::directory;

const char16_t kPathSeparator = u'/';

int64_t CurrentDate() {
  return fake::clock();
}

int InitConsole() {
  return 1;
}
void SetCloseRoutine(void (*)()) {}
void HoldStopSignals() {}
void ReleaseStopSignals() {}
void WriteText(const char16_t* units, size_t count) {
  fake::output().append(units, count);
}
void WriteLine(const Text& text) {
  WriteText((text + u"\r\n").data(), text.size() + 2);
}
void Write(const Text& text) {
  WriteText(text.data(), text.size());
}
bool OutputFailed() {
  return false;
}
Text ReadLine() {
  if (fake::answers().empty()) return Text(1, kEndOfInput);
  Text answer = fake::answers().front();
  fake::answers().pop_front();
  return answer;
}

int64_t ParameterCount() {
  return static_cast<int64_t>(fake::parameters().size());
}
Text NextParameter() {
  if (fake::state.cursor >= fake::parameters().size()) return Text();
  return fake::parameters()[fake::state.cursor++];
}
Text ExecutablePath() {
  return u"/opt/tools/cleanup";
}
Text ProgramName() {
  return u"cleanup";
}

ScanDirectory ResolveDirectory(const Text& dir) noexcept {
  return dir == directory().path ? ScanDirectory{fake::kOpenDirectory} : ScanDirectory{};
}

ResolvedPath ResolvePath(const Text& path) noexcept {
  if (path == directory().path) return {kDirectorySize, ResolveDirectory(path)};
  for (const fake::Entry& entry : directory().entries) {
    if (directory().path + u"/" + entry.name == path) {
      return {entry.type == kDirectoryType ? kDirectorySize : entry.size, {}};
    }
  }
  return {};
}

int OpenScan(int, const ScanDirectory& dir, const Text& pattern) noexcept {
  fake::state.scan = fake::Scan();
  if (dir.handle != fake::kOpenDirectory) return 0;
  fake::state.scan.open = true;
  NameTest test(pattern);  // the scan's own test: exact names keep their case on POSIX
  for (const fake::Entry& entry : directory().entries) {
    if (entry.lost) continue;
    if (test.Matches(entry.name)) fake::state.scan.matches.push_back(&entry);
  }
  return 1;
}

int NextEntry(int) noexcept {
  if (!fake::state.scan.open || fake::state.scan.next >= fake::state.scan.matches.size()) return 0;
  fake::state.scan.current = fake::state.scan.matches[fake::state.scan.next++];
  return 1;
}

int EntryType(int) noexcept {
  return fake::state.scan.current != nullptr ? fake::state.scan.current->type : 0;
}
Text EntryName(int) noexcept {
  return fake::state.scan.current != nullptr ? fake::state.scan.current->name : Text();
}
ListedName EntryListedName(int number) noexcept {
  // Copies in the platform's form that outlive the entries, which RemoveFile erases.
  static std::deque<std::basic_string<NameUnit>> kept;
  if (fake::state.scan.current == nullptr) return ListedName{};
  kept.push_back(NativeNameOf(EntryName(number)));
  return ListedName{fake::kOpenDirectory, kept.back()};
}
int64_t EntrySize(int) noexcept {
  return fake::state.scan.current != nullptr ? fake::state.scan.current->size : 0;
}
int64_t EntryDate(int, int) noexcept {
  return fake::state.scan.current != nullptr ? fake::state.scan.current->created : 0;
}
uint32_t EntryCreationFraction(int) noexcept {
  return fake::state.scan.current != nullptr ? fake::state.scan.current->fraction : 0;
}
int EntryId(int, FileId& id) noexcept {
  if (fake::state.scan.current == nullptr || !fake::state.scan.current->readable) return 0;
  id = FileId{0, fake::state.scan.current->id, 0, fake::state.scan.current->linkTo != 0};
  return 1;
}
void CloseScan(int) noexcept {
  fake::state.scan = fake::Scan();
}
void CloseAllScans() noexcept {
  fake::state.scan = fake::Scan();
}

namespace {

// The entry a listed name names in the scanned directory, or the end of the
// entries.
std::vector<fake::Entry>::iterator Named(const ListedName& listed) {
  auto& entries = directory().entries;
  if (listed.directory != fake::kOpenDirectory) return entries.end();
  const Text name = NameText(listed.name);
  return std::find_if(entries.begin(), entries.end(),
                      [&](const fake::Entry& entry) { return entry.name == name; });
}

}  // namespace

int IsLinkToDirectory(const ListedName& listed, const FileId&) noexcept {
  fake::linksExamined().push_back(NameText(listed.name));
  const auto it = Named(listed);
  return it != directory().entries.end() && it->linkTo == kDirectoryType ? 1 : 0;
}

int RemoveFile(const ListedName& listed, const FileId& id) noexcept {
  fake::removed().push_back(NameText(listed.name));
  if (directory().undeletable.count(NameText(listed.name)) != 0) return 0;
  auto& entries = directory().entries;
  const auto it = Named(listed);
  if (it == entries.end()) return 0;
  const auto links = std::count_if(entries.begin(), entries.end(),
                                   [&](const fake::Entry& other) { return other.id == it->id; });
  const bool link = it->linkTo != 0;
  const RemovalFacts now{
      true,  {0, it->id, 0, link},        it->type == kDirectoryType, link, 0222, false,
      false, static_cast<uint64_t>(links)};
  const int verdict = RemovalVerdict(now, id);
  if (verdict != 0) entries.erase(it);
  return verdict;
}

int ScansLostEntries() noexcept {
  const auto& entries = directory().entries;
  return std::any_of(entries.begin(), entries.end(), [](const fake::Entry& e) { return e.lost; });
}
