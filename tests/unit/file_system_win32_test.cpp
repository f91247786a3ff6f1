// The file-system service of the Windows build against the real system calls
// (run under Wine in CI): path classification, drive forms, scans, file
// times and deletion.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fakes/call_faults.h"
#include "runtime/dates.h"
#include "runtime/file_system/file_system.h"
#include "runtime/file_system/win32/calls.h"
#include "runtime/text_win32.h"

namespace {

using Names = std::vector<Text>;

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kEpochDifference = 116444736000000000ULL;

FILETIME FileTimeFromUtcSeconds(int64_t seconds) {
  const uint64_t ticks = static_cast<uint64_t>(seconds) * 10000000ULL + kEpochDifference;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// A drive letter that names no drive here, as "X:".
Text MissingDrive() {
  const DWORD drives = GetLogicalDrives();
  for (int letter = 25; letter >= 3; --letter) {
    if ((drives & (1u << letter)) == 0) return Text{static_cast<char16_t>(u'A' + letter), u':'};
  }
  return Text();
}

class FileSystemWin32Test : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    root_ = FromWide(temp) + u"cleanup_fs_" + FormatInteger(GetCurrentProcessId()) + u"_" +
            FormatInteger(GetTickCount());
    ASSERT_TRUE(CreateDirectoryW(AsWide(root_), nullptr));
  }

  void TearDown() override {
    FileSystemCallTable() = SystemFileSystemCalls();
    CloseAllScans();
    RemoveTree(root_);
  }

  // Read-only files are made writable first, so that they can go.
  static void RemoveTree(const Text& directory) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(AsWide(directory)))
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(AsWide(directory), ignored);
  }

  Text Path(const Text& relative) const { return root_ + u"\\" + relative; }

  // Creates a file with `size` bytes; a last-write time when `utcSeconds` is
  // not negative.
  void MakeFile(const Text& name, DWORD size = 0, int64_t utcSeconds = -1) const {
    HANDLE file = CreateFileW(AsWide(Path(name)), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::string content(size, 'x');
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, content.data(), size, &written, nullptr));
    if (utcSeconds >= 0) {
      const FILETIME time = FileTimeFromUtcSeconds(utcSeconds);
      EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    }
    CloseHandle(file);
  }

  void MakeDirectory(const Text& name) const {
    ASSERT_TRUE(CreateDirectoryW(AsWide(Path(name)), nullptr));
  }

  // Names that scan 0 hands out, in order.
  static Names ScanNames(const Text& directory, const Text& pattern) {
    Names names;
    EXPECT_NE(OpenScan(0, directory, pattern), 0);
    while (NextEntry(0) != 0) names.push_back(EntryName(0));
    CloseScan(0);
    return names;
  }

  static Names Sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
  }

  Text root_;
};

TEST_F(FileSystemWin32Test, PathSizeTellsFilesDirectoriesDrivesAndNothing) {
  MakeFile(u"a.log", 3);
  MakeFile(u"empty.txt");
  MakeDirectory(u"sub");
  MakeFile(u"sub\\f.txt", 4);
  const Text missingDrive = MissingDrive();
  ASSERT_FALSE(missingDrive.empty());
  const struct {
    Text path;
    int64_t expected;
  } cases[] = {
      {u"", -1},
      {Path(u"a.log"), 3},
      {Path(u"empty.txt"), 0},
      {Path(u"sub"), -2},
      {Path(u"sub\\"), -2},
      {Path(u"sub\\/\\"), -2},
      {Path(u"*.log"), 3},
      {Path(u"e*"), 0},
      {Path(u"*.*"), -2},  // "." comes first
      {Path(u"*.none"), -1},
      {Path(u"missing"), -1},
      {Path(u"missing\\*.log"), -1},
      {u"\\\\", -1},
      {u"C:", -2},
      {u"C:\\", -2},
      {u"c:/", -2},
      {missingDrive, -1},
      {missingDrive + u"\\", -1},
      {missingDrive + u"x", -1},
      {root_ + u"\\" + Text(300, u'a'), -1},  // judged whole: not found
      // Relative to the current directory, "sub": ".." read by its attributes.
      {u"..", -2},
      {u"..\\sub\\f.txt", 4},
      {u"..\\sub\\gone", -1},
  };
  ASSERT_TRUE(SetCurrentDirectoryW(AsWide(Path(u"sub"))));
  for (const auto& c : cases) {
    EXPECT_EQ(PathSize(c.path), c.expected) << std::string(c.path.begin(), c.path.end());
  }
  SetCurrentDirectoryW(AsWide(root_ + u"\\.."));
}

TEST_F(FileSystemWin32Test, OpenScanJoinsDirectoryAndPatternAndTellsEachEntry) {
  MakeFile(u"a.log", 5);
  MakeFile(u"b.LOG", 2);
  SetFileAttributesW(AsWide(Path(u"b.LOG")), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  MakeFile(u"M\u00e4rz.txt", 1);
  MakeDirectory(u"d.log");
  // Every entry's type, and the size of each file.
  const std::map<Text, std::pair<int, int64_t>> everything = {{u".", {2, 0}},
                                                              {u"..", {2, 0}},
                                                              {u"a.log", {1, 5}},
                                                              {u"b.LOG", {1, 2}},
                                                              {u"M\u00e4rz.txt", {1, 1}},
                                                              {u"d.log", {2, 0}}};
  std::map<Text, std::pair<int, int64_t>> seen;
  ASSERT_NE(OpenScan(0, root_, u""), 0);
  while (NextEntry(0) != 0)
    seen[EntryName(0)] = {EntryType(0), EntryType(0) == 1 ? EntrySize(0) : 0};
  EXPECT_EQ(seen, everything);
  const Names logs = {u"a.log", u"b.LOG", u"d.log"};
  EXPECT_EQ(Sorted(ScanNames(root_ + u"\\", u"*.log")), logs);
  EXPECT_EQ(Sorted(ScanNames(root_ + u"/", u"*.log")), logs);  // searched as dir/\*.log
  EXPECT_EQ(ScanNames(root_, u"M\u00e4rz.txt"), Names{u"M\u00e4rz.txt"});
  ASSERT_TRUE(SetCurrentDirectoryW(AsWide(root_)));
  EXPECT_EQ(Sorted(ScanNames(u"", u"*.log")), logs);
  SetCurrentDirectoryW(AsWide(root_ + u"\\.."));
}

TEST_F(FileSystemWin32Test, ScanStatesAnswerWithoutEntries) {
  MakeFile(u"a.log");
  // A missing directory opens no scan, a pattern that finds nothing an empty
  // one; the end of a scan stays the end.
  const struct {
    Text directory, pattern;
    bool opened;
    int entries;
  } cases[] = {{Path(u"missing"), u"*.*", false, 0},
               {root_, u"*.none", true, 0},
               {root_, u"a.log", true, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(OpenScan(0, c.directory, c.pattern) != 0, c.opened);
    for (int i = 0; i < c.entries; ++i) EXPECT_EQ(NextEntry(0), 1);
    EXPECT_EQ(NextEntry(0), 0);
    EXPECT_EQ(NextEntry(0), 0);
    EXPECT_TRUE(c.opened || (EntryType(0) == 0 && EntryName(0).empty() && EntrySize(0) == 0 &&
                             EntryDate(0, 0) == 0));
  }
  // Numbers never opened, and negative numbers.
  for (int number : {7, 1000, -1}) {
    EXPECT_EQ(NextEntry(number), 0) << number;
    EXPECT_EQ(EntryType(number), 0) << number;
    CloseScan(number);
  }
  EXPECT_EQ(OpenScan(-1, root_, u"*"), 0);
}

TEST_F(FileSystemWin32Test, ReopeningAndClosingAllEndEverySearch) {
  MakeFile(u"a.log");
  MakeFile(u"b.txt");
  ASSERT_NE(OpenScan(0, root_, u"*.log"), 0);
  ASSERT_NE(OpenScan(3, root_, u"*.txt"), 0);
  ASSERT_NE(OpenScan(0, root_, u"*.txt"), 0);  // replaces the *.log search
  ASSERT_EQ(NextEntry(0), 1);
  EXPECT_EQ(EntryName(0), u"b.txt");
  ASSERT_EQ(NextEntry(3), 1);
  EXPECT_EQ(EntryName(3), u"b.txt");
  CloseAllScans();
  for (int number : {0, 3}) {
    EXPECT_EQ(NextEntry(number), 0) << number;
    EXPECT_EQ(EntryType(number), 0) << number;
  }
  // A closed search holds no handle: the directory can go at once.
  EXPECT_TRUE(DeleteFileW(AsWide(Path(u"a.log"))));
  EXPECT_TRUE(DeleteFileW(AsWide(Path(u"b.txt"))));
  EXPECT_TRUE(RemoveDirectoryW(AsWide(root_)));
  EXPECT_TRUE(CreateDirectoryW(AsWide(root_), nullptr));
}

// Dates of one entry by selector; -1 marks "not a valid date".
struct EntryDates {
  int64_t creation, access, write, other;
};

EntryDates DatesOf(const Text& directory, const Text& name) {
  EntryDates dates{};
  EXPECT_NE(OpenScan(0, directory, name), 0);
  EXPECT_EQ(NextEntry(0), 1);
  dates = {EntryDate(0, 0), EntryDate(0, 1), EntryDate(0, 2), EntryDate(0, 5)};
  CloseScan(0);
  return dates;
}

TEST_F(FileSystemWin32Test, EntryDateShiftsEveryTimeByTheOffsetInForceNow) {
  constexpr int64_t kWinter = 1705320000;  // 2024-01-15 12:00:00 UTC
  constexpr int64_t kSummer = 1721044800;  // 2024-07-15 12:00:00 UTC
  constexpr int64_t k2040 = 2208988800;    // 2040-01-01 00:00:00 UTC
  const int64_t before = CurrentDate();
  MakeFile(u"winter.log", 1, kWinter);
  MakeFile(u"summer.log", 1, kSummer);
  MakeFile(u"late.log", 1, k2040);
  const EntryDates winter = DatesOf(root_, u"winter.log");
  const EntryDates summer = DatesOf(root_, u"summer.log");
  // The same shift for both, whatever daylight saving did between them.
  EXPECT_EQ(summer.write - winter.write, kSummer - kWinter);
  // The local offset is whole quarter hours and at most 14 hours.
  const int64_t offset = winter.write - kWinter;
  EXPECT_EQ(offset % 900, 0);
  EXPECT_LE(offset < 0 ? -offset : offset, 14 * 3600);
  MakeFile(u"now.txt");  // created at the current date (file times may round below its second)
  const int64_t created = DatesOf(root_, u"now.txt").creation;
  EXPECT_GE(created, before - 1);
  EXPECT_LE(created, CurrentDate());
  for (const EntryDates& d : {winter, summer}) {
    EXPECT_EQ(d.other, d.creation);  // an unknown selector reads the creation time
    EXPECT_LE(d.creation, d.write);  // never later than the last write here
    EXPECT_GT(d.access, 0);
  }
  EXPECT_EQ(DatesOf(root_, u"late.log").write, k2040 + offset);
}

TEST_F(FileSystemWin32Test, RemoveFileDeletesOnlyTheListedWritableFile) {
  MakeFile(u"plain.txt");
  MakeFile(u"locked.txt");
  SetFileAttributesW(AsWide(Path(u"locked.txt")), FILE_ATTRIBUTE_READONLY);
  MakeFile(u"hidden.txt");
  SetFileAttributesW(AsWide(Path(u"hidden.txt")), FILE_ATTRIBUTE_HIDDEN);
  MakeFile(u"linked.txt");
  ASSERT_TRUE(CreateHardLinkW(AsWide(Path(u"linked2.txt")), AsWide(Path(u"linked.txt")), nullptr));
  MakeDirectory(u"sub");
  MakeFile(u"refused.txt");
  MakeFile(u"shared.txt");
  // The identities a scan of the directory lists; the scan keeps its handle.
  std::map<Text, FileId> ids;
  intptr_t kept = -1;
  ASSERT_NE(OpenScan(0, root_, u"*"), 0);
  while (NextEntry(0) != 0) {
    FileId id;
    ASSERT_EQ(EntryId(0, id), 1);
    ids[EntryName(0)] = id;
    kept = EntryListedName(0).directory;
  }
  CloseScan(0);
  const struct {
    Text name;
    FileId id;
    int result;
    bool remains;
    DWORD refusal = 0;  // every disposition asked for is refused with it
    NTSTATUS gone = 0;  // the removal's open fails with it, as for a file gone or going
  } cases[] = {
      {u"plain.txt", ids[u"plain.txt"], kRemovedFile, false},
      {u"hidden.txt", ids[u"hidden.txt"], kRemovedFile, false},
      // Only the last name of a file frees it.
      {u"linked.txt", ids[u"linked.txt"], kRemovedName, false},
      {u"linked2.txt", ids[u"linked2.txt"], kRemovedFile, false},
      {u"locked.txt", ids[u"locked.txt"], 0, true},
      {u"sub", ids[u"sub"], 0, true},
      {u"missing.txt", ids[u"plain.txt"], 0, false},
      {u"refused.txt", ids[u"refused.txt"], 0, true, ERROR_ACCESS_DENIED},
      {u"shared.txt", ids[u"shared.txt"], 0, true, ERROR_SHARING_VIOLATION},
      // The name found no more (STATUS_OBJECT_NAME_NOT_FOUND), its file being
      // deleted (STATUS_DELETE_PENDING): the open fails, nothing is marked.
      {u"shared.txt", ids[u"shared.txt"], 0, true, 0, static_cast<NTSTATUS>(0xC0000034)},
      {u"shared.txt", ids[u"shared.txt"], 0, true, 0, static_cast<NTSTATUS>(0xC0000056)},
  };
  for (const auto& c : cases) {
    const std::string label(c.name.begin(), c.name.end());
    const int refusals = c.refusal == 0 ? 0 : fault::kEveryUse;
    const fault::Scoped<&FileSystemCalls::setInformation> refused(
        FileSystemCallTable(), 1, FALSE, static_cast<int>(c.refusal), refusals);
    const fault::Scoped<&FileSystemCalls::ntOpenFile> vanished(
        FileSystemCallTable(), 1, c.gone, ERROR_FILE_NOT_FOUND, c.gone == 0 ? 0 : 1);
    EXPECT_EQ(RemoveFile(ListedName{kept, c.name}, c.id), c.result) << label;
    EXPECT_EQ(refused.Uses() != 0, c.result != 0 || c.refusal != 0) << label;  // marked only then
    EXPECT_EQ(GetFileAttributesW(AsWide(Path(c.name))) != INVALID_FILE_ATTRIBUTES, c.remains)
        << label;
  }
  EXPECT_EQ(RemoveFile(ListedName{}, FileId{}), 0);
}

// Records as the system lists them: several to a buffer, chained by
// NextEntryOffset, names of odd lengths, IDs apart in their high half alone.
TEST_F(FileSystemWin32Test, ListingReadsChainedRecordsOfEveryBuffer) {
  static int fetches;
  fetches = 0;
  FileSystemCallTable().getInformationEx = [](HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind,
                                              LPVOID buffer, DWORD size) -> BOOL {
    if (kind != FileIdExtdDirectoryRestartInfo && kind != FileIdExtdDirectoryInfo)
      return GetFileInformationByHandleEx(handle, kind, buffer, size);
    const Names names = ++fetches == 1 ? Names{u"a", u"odd", u"seven.7"} : Names{u"x.y"};
    if (fetches > 2) {
      SetLastError(ERROR_NO_MORE_FILES);
      return FALSE;
    }
    BYTE* at = static_cast<BYTE*>(buffer);
    for (size_t i = 0; i < names.size(); ++i) {
      auto* record = reinterpret_cast<FILE_ID_EXTD_DIR_INFO*>(at);
      const DWORD bytes = static_cast<DWORD>(names[i].size() * sizeof(WCHAR));
      const DWORD length = (offsetof(FILE_ID_EXTD_DIR_INFO, FileName) + bytes + 7) & ~7u;
      *record = FILE_ID_EXTD_DIR_INFO{};
      record->NextEntryOffset = i + 1 < names.size() ? length : 0;
      record->EndOfFile.QuadPart = static_cast<LONGLONG>(names[i].size());
      record->FileId.Identifier[0] = 5;
      record->FileId.Identifier[8] = static_cast<BYTE>(fetches * 4 + i);
      record->FileNameLength = bytes;
      std::copy(names[i].begin(), names[i].end(), reinterpret_cast<char16_t*>(record->FileName));
      at += length;
    }
    return TRUE;
  };
  ASSERT_NE(OpenScan(0, root_, u"*"), 0);
  std::vector<FileId> ids;
  for (const Text name : {u"a", u"odd", u"seven.7", u"x.y"}) {
    ASSERT_NE(NextEntry(0), 0);
    EXPECT_EQ(EntryName(0), name);
    EXPECT_EQ(EntrySize(0), static_cast<int64_t>(name.size()));
    FileId id;
    ASSERT_EQ(EntryId(0, id), 1);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), id), 0);
    ids.push_back(id);
  }
  EXPECT_EQ(NextEntry(0), 0);
}

// Deletion asks for POSIX semantics first, else the plain disposition. Where
// the file index isn't the listed ID, the whole identity decides: a file whose
// 128-bit ID differs from the listed one in its high half stays. A resolved
// path in another directory (Wine's, once the directory was swapped for a
// link; Wine would keep the file but the disposition say it went) leaves the
// file unmarked, as does a directory that can't be listed to its end or a
// path the system can't resolve in any form.
TEST_F(FileSystemWin32Test, RemovalTakesTheDispositionItCanGet) {
  static bool granted;
  static bool indexFolds;
  static BYTE high;
  static bool elsewhere, unlisted, unresolved;
  static int dispositionCalls;
  static int plainCalls;
  FileSystemCallTable().setInformation = [](HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind,
                                            LPVOID info, DWORD size) -> BOOL {
    ++dispositionCalls;
    plainCalls += kind == FileDispositionInfo ? 1 : 0;
    if (kind != static_cast<FILE_INFO_BY_HANDLE_CLASS>(21) || !granted) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return kind == FileDispositionInfo && SetFileInformationByHandle(file, kind, info, size);
    }
    FILE_DISPOSITION_INFO plain{TRUE};
    return SetFileInformationByHandle(file, FileDispositionInfo, &plain, sizeof plain);
  };
  FileSystemCallTable().ntQueryInformation = [](HANDLE file, PIO_STATUS_BLOCK status, PVOID info,
                                                ULONG size, FILE_INFORMATION_CLASS kind) {
    const NTSTATUS result =
        SystemFileSystemCalls().ntQueryInformation(file, status, info, size, kind);
    if (kind == FileInternalInformation && !indexFolds)
      static_cast<FILE_INTERNAL_INFORMATION*>(info)->IndexNumber.QuadPart ^= 1 << 20;
    return result;
  };
  FileSystemCallTable().finalPath = [](HANDLE handle, LPWSTR buffer, DWORD size,
                                       DWORD flags) -> DWORD {
    const DWORD length = unresolved ? 0 : GetFinalPathNameByHandleW(handle, buffer, size, flags);
    if (elsewhere && length > 7 && length < size && std::wstring(buffer).ends_with(L"\\f.txt"))
      buffer[length - 7] = L'~';  // another directory
    return length;
  };
  FileSystemCallTable().getInformationEx = [](HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind,
                                              LPVOID buffer, DWORD size) -> BOOL {
    BY_HANDLE_FILE_INFORMATION info;
    const bool listing =
        kind == FileIdExtdDirectoryRestartInfo || kind == FileIdBothDirectoryRestartInfo;
    if ((unlisted && listing) || (unresolved && kind == FileNameInfo)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (kind != FileIdInfo || !GetFileInformationByHandle(handle, &info))
      return GetFileInformationByHandleEx(handle, kind, buffer, size);
    auto* wide = static_cast<FILE_ID_INFO*>(buffer);
    *wide = FILE_ID_INFO{info.dwVolumeSerialNumber, {}};
    const uint64_t low = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    std::copy_n(reinterpret_cast<const BYTE*>(&low), 8, wide->FileId.Identifier);
    wide->FileId.Identifier[8] = high;
    return TRUE;
  };
  const struct {
    bool granted, indexFolds;
    BYTE high;
    bool elsewhere;
    int result, dispositionCalls, plainCalls;
    bool unlisted = false, unresolved = false;
  } cases[] = {
      {true, true, 0, false, kRemovedFile, 1, 0},
      {false, true, 0, false, kRemovedFile, 2, 1},
      {true, false, 0, false, kRemovedFile, 1, 0},
      {true, false, 1, false, 0, 0, 0},
      {true, true, 0, true, 0, 0, 0},
      {true, true, 0, false, 0, 0, 0, true},
      {true, true, 0, false, 0, 0, 0, false, true},
  };
  for (const auto& c : cases) {
    MakeFile(u"f.txt");
    granted = c.granted;
    indexFolds = c.indexFolds;
    high = 0;
    elsewhere = unlisted = unresolved = false;
    CloseAllScans();  // what the removals read of the directory is read again
    dispositionCalls = 0;
    plainCalls = 0;
    FileId id;
    ASSERT_NE(OpenScan(0, root_, u"f.txt"), 0);
    ASSERT_TRUE(NextEntry(0) != 0 && EntryId(0, id) != 0);
    const ListedName listed = EntryListedName(0);
    CloseScan(0);
    high = c.high;
    elsewhere = c.elsewhere;
    unlisted = c.unlisted;
    unresolved = c.unresolved;
    const std::string label = std::to_string(&c - cases);
    EXPECT_EQ(RemoveFile(listed, id), c.result) << label;
    EXPECT_EQ(dispositionCalls, c.dispositionCalls) << label;
    EXPECT_EQ(plainCalls, c.plainCalls) << label;
  }
}

}  // namespace
