#include "runtime/file_system/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "fakes/call_faults.h"
#include "runtime/dates.h"
#include "runtime/file_system/name_block.h"
#include "runtime/file_system/posix/calls.h"
#include "runtime/file_system/posix/file_identity.h"
#include "runtime/file_system/posix/mount_trust.h"
#include "runtime/file_system/posix/open_files.h"
#include "runtime/file_system/posix/trusted_path.h"
#include "runtime/unicode.h"

namespace {

using Names = std::vector<std::string>;
namespace fs = std::filesystem;

class FileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cleanup_fs_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    FileSystemCallTable() = SystemFileSystemCalls();
    CloseAllScans();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
  Text PathText(const std::string& relative) const { return TextFromBytes(Path(relative)); }
  void Write(const std::string& relative, const std::string& content = "") const {
    const int fd = open(Path(relative).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << relative;
    ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);
  }
  void MakeDir(const std::string& relative) const { fs::create_directory(Path(relative)); }
  void Link(const std::string& target, const std::string& relative) const {
    ASSERT_EQ(symlink(target.c_str(), Path(relative).c_str()), 0) << relative;
  }
  bool Exists(const std::string& relative) const {
    struct stat info {};
    return lstat(Path(relative).c_str(), &info) == 0;
  }
  // The listed name and identity a scan reports for what the path names now,
  // as the driver hands them to RemoveFile; an empty name and no identity
  // when nothing is there. Uses scan 1.
  struct Listing {
    ListedName name;
    FileId id;
  };
  Listing Listed(const std::string& relative) const {
    const size_t slash = relative.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : relative.substr(0, slash);
    Listing listing;
    if (OpenScan(1, PathText(directory), TextFromBytes(relative.substr(slash + 1))) != 0 &&
        NextEntry(1) != 0 && EntryId(1, listing.id) != 0) {
      listing.name = EntryListedName(1);
    }
    CloseScan(1);
    return listing;
  }
  FileId IdOf(const std::string& relative) const { return Listed(relative).id; }
  // Names one scan hands out, in order.
  static Names ScanNames(const Text& directory, const Text& pattern) {
    Names names;
    EXPECT_NE(OpenScan(0, directory, pattern), 0);
    while (NextEntry(0) != 0) names.push_back(BytesFromText(EntryName(0)));
    CloseScan(0);
    return names;
  }

  std::string root_;
};

TEST_F(FileSystemTest, PathSizeTellsFilesDirectoriesAndNothing) {
  Write("a.log", "abc");
  Write("B.log", "1234567");
  Write("empty.txt");
  MakeDir("sub");
  Link("sub", "linkdir");
  Link("a.log", "linkfile");
  Link(Path("sub"), "abslink");
  Link("loop", "loop");
  const struct {
    std::string path;
    int64_t expected;
  } cases[] = {
      {Path("abslink/*"), -2},
      {Path("loop/*"), -1},  // more links than may be followed
      {Path("a.log"), 3},
      {Path("empty.txt"), 0},
      {Path("sub"), -2},
      {Path("sub///"), -2},
      {Path("linkdir"), -2},
      {Path("linkfile"), 5},  // own size
      {Path("*.log"), 3},
      {Path("b*"), 7},
      {Path("*.*"), -2},  // "." first
      {Path("sub/*"), -2},
      {Path("linkd*"), -2},
      {Path("*.none"), -1},
      {Path("missing"), -1},
      {Path("missing/*"), -1},
      {Path("a.log/x"), -1},
      {"", -1},
      {"///", -1},
      {"/tmp", -2},  // a name in the root directory
      {Path(std::string(NAME_MAX + 1, 'n')), -1},
      {Path(std::string(PATH_MAX + 100, 'a')), -1},
  };
  for (const auto& c : cases) EXPECT_EQ(PathSize(TextFromBytes(c.path)), c.expected) << c.path;
}

TEST_F(FileSystemTest, ScanHandsOutMatchesInAscendingUpperCaseOrder) {
  // Beyond ASCII the order is that of UTF-16 units, not of bytes: U+1F600
  // (a surrogate pair) before an undecodable byte (U+DCFF) before U+FF21.
  const Names beyondAscii = {"\xC3\x84", "\xC3\xA4", "\xF0\x9F\x98\x80", "\xFF", "\xEF\xBC\xA1"};
  for (const char* name : {"b.txt", "A.txt", "c.TXT", "B1.txt", "_x", "-dash", "x", "X"}) {
    Write(name);
  }
  // Long names: equal ASCII skipped a word at a time, letters folded from the first that differs.
  const Names longNames = {"long-name-0001-A.log", "long-name-0001-a.log", "long-name-0001-B.log",
                           "LONG-NAME-0001-c.log"};
  for (const std::string& name : beyondAscii) Write(name);
  for (const std::string& name : longNames) Write(name);
  Names everything = {".", "..", "-dash", "A.txt", "b.txt", "B1.txt", "c.TXT"};
  everything.insert(everything.end(), longNames.begin(), longNames.end());
  everything.insert(everything.end(), {"X", "x", "_x"});
  everything.insert(everything.end(), beyondAscii.begin(), beyondAscii.end());
  EXPECT_EQ(ScanNames(TextFromBytes(root_), u""), everything);
  EXPECT_EQ(ScanNames(PathText(""), u"*.*"), everything);  // same order again, "dir/" too
  EXPECT_EQ(ScanNames(TextFromBytes(root_), u"*.txt"),
            (Names{"A.txt", "b.txt", "B1.txt", "c.TXT"}));
}

TEST(NameBlockTest, SortsListingsInAnyOrder) {
  // Listings in order, against it (tmpfs) or neither: one order comes out.
  const Names sorted = {".", "..", "a1", "A2", "a3", "b"};
  const Names listings[] = {sorted,
                            {".", "..", "b", "a3", "A2", "a1"},
                            {"b", "a3", "A2", "a1", "..", "."},
                            {"..", "b", "a3", "A2", "a1", "."},
                            {".", "b", "a3", "..", "A2", "a1"},
                            {"a3", ".", "a1", "b", "..", "A2"}};
  for (const Names& listing : listings) {
    NameBlock block;
    for (const std::string& name : listing) block.Add(name);
    block.Sort();
    Names names;
    for (size_t i = 0; i < block.Count(); ++i) names.emplace_back(block.Name(i));
    EXPECT_EQ(names, sorted) << listing[0] << listing[1];
  }
}

// Counts readlinkat calls, so the cost of following a link is seen.
int linkReads = 0;
ssize_t CountedReadlinkat(int dirFd, const char* path, char* target, size_t size) {
  ++linkReads;
  return readlinkat(dirFd, path, target, size);
}

TEST_F(FileSystemTest, EntryTypeAndSizeDescribeTheEntryItself) {
  Write("file", "12345");
  MakeDir("sub");
  Link("sub", "linkdir");
  Link("file", "linkfile");
  Link("gone", "dangling");
  Link(Path("sub") + "/../sub", "absolute");
  for (int i = 1; i <= 40; ++i) Link("chain" + std::to_string(i - 1), "chain" + std::to_string(i));
  ASSERT_EQ(rename(Path("sub").c_str(), Path("chain0").c_str()), 0);
  MakeDir("sub");
  Write("swapln");
  Write("swapped");
  MakeDir("wasdir");
  // A link's target is looked at only when asked, and only a few links deep.
  const struct {
    std::string name;
    int type;
    int64_t size;  // -1: not checked
    int toDirectory, linkReads;
  } expected[] = {
      {".", kDirectoryType, -1, 0, 0},
      {"..", kDirectoryType, -1, 0, 0},
      {"absolute", kFileType, -1, 1, 1},
      {"chain1", kFileType, 6, 1, 1},
      {"chain10", kFileType, 6, 0, kMaxLinkSteps},
      {"chain4", kFileType, 6, 1, 4},
      {"dangling", kFileType, 4, 0, 1},
      {"file", kFileType, 5, 0, 0},
      {"linkdir", kFileType, 3, 1, 1},
      {"linkfile", kFileType, 4, 0, 1},
      {"sub", kDirectoryType, -1, 0, 0},
      {"swapln", kFileType, 3, 1, 1},
      {"swapped", kDirectoryType, -1, 0, 0},
      {"wasdir", kDirectoryType, -1, 0, 0},
  };
  ASSERT_NE(OpenScan(0, TextFromBytes(root_), u"*"), 0);
  // Files when the directory was read, a directory and a link to one when
  // asked; a directory when listed stays one.
  ASSERT_EQ(unlink(Path("swapln").c_str()) | unlink(Path("swapped").c_str()), 0);
  Link("sub", "swapln");
  MakeDir("swapped");
  ASSERT_EQ(rmdir(Path("wasdir").c_str()), 0);
  Write("wasdir");
  FileSystemCallTable().readlinkat = CountedReadlinkat;
  std::set<std::string> seen;
  while (NextEntry(0) != 0) {
    const std::string name = BytesFromText(EntryName(0));
    for (const auto& e : expected) {
      if (e.name != name) continue;
      FileId id;
      linkReads = 0;
      const int toDirectory = EntryId(0, id) != 0 ? IsLinkToDirectory(EntryListedName(0), id) : -1;
      EXPECT_EQ(EntryType(0), e.type) << name;
      EXPECT_TRUE(e.size < 0 || EntrySize(0) == e.size) << name;
      EXPECT_EQ(toDirectory, e.toDirectory) << name;
      EXPECT_EQ(linkReads, e.linkReads) << name;
      seen.insert(name);
    }
  }
  EXPECT_EQ(seen.size(), std::size(expected));
}

// Large scans read the entries' facts ahead on a second thread: every entry
// gets the facts the caller would read itself, and the names handed out as
// views outlive the scan.
TEST_F(FileSystemTest, LargeScanDescribesEveryEntry) {
  std::vector<std::string> expected;
  for (int i = 0; i < 1500; ++i) {
    char name[16];
    snprintf(name, sizeof name, "f%04d", i);
    Write(name, std::string(static_cast<size_t>(i % 50), 'x'));
    expected.push_back(name);
  }
  std::vector<std::string_view> views;
  ASSERT_NE(OpenScan(0, TextFromBytes(root_), u"f*"), 0);
  FileSystemCallTable().startThread = [](std::thread&, std::function<void()>) { return false; };
  ASSERT_NE(OpenScan(2, TextFromBytes(root_), u"f*"), 0);  // no second thread to be had
  for (const std::string& name : expected) {
    ASSERT_NE(NextEntry(0) & NextEntry(2), 0) << name;
    ASSERT_EQ(BytesFromText(EntryName(0)), name);
    views.push_back(EntryListedName(0).name);
    FileId id, lazy;  // what the second thread read, what the caller reads itself
    ASSERT_EQ(EntryId(0, id) + EntryId(2, lazy), 2) << name;
    EXPECT_TRUE(id == lazy && EntryType(0) == EntryType(2) && EntrySize(0) == EntrySize(2)) << name;
  }
  EXPECT_EQ(NextEntry(0), 0);
  CloseScan(0);
  ASSERT_NE(OpenScan(0, TextFromBytes(root_), u"*"), 0);  // a scan in its place
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(views[i], expected[i]);
}

TEST_F(FileSystemTest, EntryDateReadsTheSelectedTimeShiftedByTheOffsetNow) {
  Write("late");
  const time_t accessed = 1719828000;                                  // 2024-07-01 10:00 UTC
  const timespec times[2] = {{accessed, 500000000}, {2208988800, 0}};  // written in 2040
  ASSERT_EQ(utimensat(AT_FDCWD, Path("late").c_str(), times, 0), 0);
  const time_t now = time(nullptr);
  tm local{};
  ASSERT_NE(localtime_r(&now, &local), nullptr);
  ASSERT_NE(OpenScan(0, TextFromBytes(root_), u"late"), 0);
  ASSERT_NE(NextEntry(0), 0);
  EXPECT_EQ(EntryDate(0, TimeAccessed), accessed + local.tm_gmtoff);
  EXPECT_EQ(EntryDate(0, TimeModified), 2208988800 + local.tm_gmtoff);
  // Birth time, or the change time being older than the write: the file's making.
  const int64_t created = EntryDate(0, TimeCreated);
  EXPECT_GE(created, CurrentDate() - 60);
  EXPECT_LE(created, CurrentDate());
  EXPECT_EQ(EntryDate(0, 5), created);
}

TEST_F(FileSystemTest, ScanWithoutEntriesAnswersNothing) {
  Write("plain");
  const struct {
    Text directory;
    const char16_t* pattern;
    bool opened, closedAfter;
  } cases[] = {
      {PathText("missing"), u"*.*", false, false},
      {PathText("plain"), u"*", false, false},
      {TextFromBytes(root_), u"*.none", true, false},
      {TextFromBytes(root_), u"*", true, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OpenScan(0, c.directory, c.pattern) != 0, c.opened);
    if (c.closedAfter) CloseScan(0);
    EXPECT_EQ(NextEntry(0), 0);
    EXPECT_EQ(EntryType(0), 0);
    EXPECT_EQ(EntryName(0), u"");
    EXPECT_EQ(EntrySize(0), 0);
    EXPECT_EQ(EntryDate(0, 0), 0);
    EXPECT_EQ(EntryCreationFraction(0), 0u);
  }
}

TEST_F(FileSystemTest, ScanReadsTheDirectoryThePathCheckOpened) {
  MakeDir("first");
  MakeDir("second");
  Write("first/kept.log");
  Write("second/other.log");
  Link("first", "current");
  const ResolvedPath resolved = ResolvePath(PathText("current"));
  ASSERT_EQ(resolved.size, kDirectorySize);
  fs::remove(Path("current"));
  Link("second", "current");  // swapped after the check
  ASSERT_NE(OpenScan(0, resolved.directory, u"*.log"), 0);
  ASSERT_NE(NextEntry(0), 0);
  EXPECT_EQ(EntryName(0), u"kept.log");
}

TEST_F(FileSystemTest, ReopeningAScanReplacesItAndLeavesNoDescriptorBehind) {
  MakeDir("one");
  MakeDir("two");
  Write("one/first.a");
  Write("two/second.b");
  auto openDescriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
  };
  const auto before = openDescriptors();
  ASSERT_NE(OpenScan(0, PathText("one"), u"*.a"), 0);
  ASSERT_NE(NextEntry(0), 0);
  ASSERT_NE(OpenScan(0, PathText("two"), u"*.b"), 0);
  ASSERT_NE(NextEntry(0), 0);
  EXPECT_EQ(EntryName(0), u"second.b");
  EXPECT_EQ(NextEntry(0), 0);
  for (int i = 0; i < 10; ++i) OpenScan(i % 3, PathText("two"), u"");
  CloseAllScans();
  EXPECT_EQ(openDescriptors(), before);
}

TEST_F(FileSystemTest, RemoveFileDeletesOnlyWritableFilesAndLinks) {
  MakeDir("dir");
  MakeDir("dir/sub");
  Write("outside");
  for (const char* name : {"dir/plain", "dir/readonly", "dir/others", "dir/back\\slash"})
    Write(name);
  // Which write bits count is the removal policy's table; here the mode is read.
  ASSERT_EQ(chmod(Path("dir/readonly").c_str(), 0444), 0);
  ASSERT_EQ(chmod(Path("dir/others").c_str(), 0422), 0);  // writable, but not by its owner
  Link("../outside", "dir/link");
  Write("dir/linked");
  ASSERT_EQ(link(Path("dir/linked").c_str(), Path("dir/linked.2").c_str()), 0);
  Write("dir/held");
  const int held = open(Path("dir/held").c_str(), O_RDONLY);  // this process holds it open
  // 2: the file's last name went; 1: other names keep it ("linked").
  const struct {
    std::string name;
    int expected;
  } cases[] = {
      {"plain", 2},       {"readonly", 0}, {"sub", 0},  {"link", 2},
      {"back\\slash", 2}, {"missing", 0},  {"", 0},     {".", 0},
      {"linked", 1},      {"linked.2", 2}, {"held", 0}, {"others", 2},
  };
  for (const auto& c : cases) {
    const Listing listed = Listed("dir/" + c.name);
    // Counted, never failed: the system is asked to remove only what may go.
    const fault::Scoped<&FileSystemCalls::unlinkat> asked(FileSystemCallTable(), INT_MAX, -1, 0);
    EXPECT_EQ(RemoveFile(listed.name, listed.id), c.expected) << c.name;
    EXPECT_EQ(asked.Uses(), c.expected != 0 ? 1 : 0) << c.name;
    EXPECT_EQ(Exists("dir/" + c.name), c.expected == 0 && c.name != "missing") << c.name;
  }
  EXPECT_TRUE(Exists("outside"));
  EXPECT_EQ(RemoveFile(ListedName{}, FileId{}), 0);
  close(held);
}

// The birth time and its stand-ins. A freed inode number given to a new file
// at once, on a file system that keeps no birth time: the handle's generation
// tells the two files apart, and where no handle can be had the change time
// does; the age takes the older of the last-write and change times.
TEST(FileIdentityTest, StandInsForAMissingBirthTime) {
  alignas(file_handle) unsigned char room[sizeof(file_handle) + 16] = {};
  file_handle* handle = reinterpret_cast<file_handle*>(room);
  unsigned char* bytes = room + sizeof(file_handle);  // the handle's own bytes
  const unsigned char inodeAndGeneration[] = {0x0c, 0, 0, 0, 0x78, 0x56, 0x34, 0x12};
  std::copy(std::begin(inodeAndGeneration), std::end(inodeAndGeneration), bytes);
  handle->handle_bytes = sizeof inodeAndGeneration;
  const FileTime birth{7, 123};
  const struct {
    const FileTime* birth;
    const file_handle* handle;
    FileTime written, changed, created;
    uint64_t stamp;
  } cases[] = {
      {&birth, handle, {3, 5}, {9, 456}, birth, 7000000123u},
      {nullptr, handle, {3, 5}, {9, 456}, {3, 5}, 0x123456780000000cu},
      {nullptr, nullptr, {10, 5}, {9, 456}, {9, 456}, 9000000456u},
      {nullptr, nullptr, {9, 455}, {9, 456}, {9, 455}, 9000000456u},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(CreationTime(c.birth, c.written, c.changed) == c.created);
    EXPECT_EQ(IdentityStamp(c.birth, c.handle, c.changed), c.stamp);
  }
  handle->handle_bytes = 16;  // longer handles are hashed: the generation still counts
  const uint64_t longer = IdentityStamp(nullptr, handle, {});
  bytes[5] = 0x57;
  EXPECT_NE(IdentityStamp(nullptr, handle, {}), longer);
}

TEST_F(FileSystemTest, RemoveFileStaysInTheScannedDirectoryAfterASwap) {
  for (const std::string scanned : {"a", "a/"}) {  // directory text of the scan
    MakeDir("a");
    MakeDir("other");
    Write("a/victim");
    Write("other/victim");
    const Listing listed = Listed(scanned + "/victim");
    ASSERT_EQ(listed.name.name, "victim");
    ASSERT_EQ(rename(Path("a").c_str(), Path("a.old").c_str()), 0);
    Link(Path("other"), "a");
    EXPECT_EQ(RemoveFile(listed.name, listed.id), kRemovedFile) << scanned;
    EXPECT_TRUE(Exists("other/victim")) << scanned;
    EXPECT_FALSE(Exists("a.old/victim")) << scanned;
    CloseAllScans();
    fs::remove_all(Path("a.old"));
    fs::remove_all(Path("other"));
    fs::remove(Path("a"));
  }
}

// openat that finds "/proc" at `fakeProc` (counting the walks) and
// /proc/self/mountinfo at `fakeMounts`; statx that puts the inodes in
// `foreignInodes` on device 250:1 and descriptor 4's file on another device.
std::string fakeProc, fakeMounts;
std::set<uint64_t> foreignInodes;
int walks = 0;
int OpenWithFakes(int dirFd, const char* path, int flags, ...) {
  const std::string name(path);
  walks += name == "/proc";
  return openat(dirFd,
                name == "/proc"                  ? fakeProc.c_str()
                : name == "/proc/self/mountinfo" ? fakeMounts.c_str()
                                                 : path,
                flags);
}
int StatxWithFakes(int dirFd, const char* path, int flags, unsigned mask, struct statx* info) {
  const int result = statx(dirFd, path, flags, mask, info);
  if (result == 0 && foreignInodes.count(info->stx_ino) != 0) {
    info->stx_dev_major = 250;
    info->stx_dev_minor = 1;
  }
  if (result == 0 && std::string(path) == "4") ++info->stx_dev_minor;
  return result;
}

// Facts through failing calls: without statx the plain stat answers; a
// refused or vanished entry, or memory running out, is no candidate and stays.
// A refused unlinkat or an entry gone since the scan removes nothing.
TEST_F(FileSystemTest, FailingCallsLeaveNoCandidate) {
  Write("f", "abc");
  const Listing gone = Listed("f");
  for (const int e : {EPERM, EBUSY, EROFS, EACCES}) {
    const fault::Scoped<&FileSystemCalls::unlinkat> refused(FileSystemCallTable(), 1, -1, e);
    EXPECT_EQ(RemoveFile(gone.name, gone.id), 0) << e;
    EXPECT_EQ(refused.Uses(), 1) << e;
    EXPECT_TRUE(Exists("f"));
  }
  ASSERT_EQ(unlink(Path("f").c_str()), 0);
  EXPECT_EQ(RemoveFile(gone.name, gone.id), 0);
  Write("f", "abc");
  const FileId listed = IdOf("f");
  static int error;
  FileSystemCallTable().statx = [](int, const char*, int, unsigned, struct statx*) {
    if (error == 0) throw std::bad_alloc();
    errno = error;
    return -1;
  };
  for (const int e : {EACCES, ENOENT, 0, ENOSYS}) {
    error = e;
    ASSERT_NE(OpenScan(0, TextFromBytes(root_), u"f"), 0);
    ASSERT_NE(NextEntry(0), 0);
    FileId id = listed;
    EXPECT_EQ(EntrySize(0), e == ENOSYS ? 3 : 0) << e;
    EXPECT_EQ(EntryId(0, id), e == ENOSYS ? 1 : 0) << e;
    EXPECT_EQ(RemoveFile(EntryListedName(0), id), e == ENOSYS ? kRemovedFile : 0) << e;
  }
  FileSystemCallTable().readdir = [](DIR*) -> dirent* { throw std::bad_alloc(); };
  EXPECT_EQ(OpenScan(0, TextFromBytes(root_), u"*"), 0);
  EXPECT_EQ(ScansLostEntries(), 1);
  // A kernel without openat2: the walk finds the same directory. A /proc
  // whose one descriptor refers to "f" keeps it.
  FileSystemCallTable() = SystemFileSystemCalls();
  CloseAllScans();
  Write("f");
  fs::create_directories(Path("proc/7/fd"));
  Link(Path("f"), "proc/7/fd/3");
  static int refused = 0;
  fakeProc = Path("proc");
  FileSystemCallTable().openat2 = [](int, const char*, open_how*, size_t) {
    ++refused;
    errno = ENOSYS;
    return -1;
  };
  FileSystemCallTable().openat = OpenWithFakes;
  EXPECT_EQ(PathSize(PathText("proc/7/fd")), kDirectorySize);
  EXPECT_GT(refused, 0);
  const Listing held = Listed("f");
  EXPECT_EQ(RemoveFile(held.name, held.id), 0);
  EXPECT_TRUE(Exists("f"));
}

// Another user's file system is trusted for nothing: none of its entries
// is a candidate, no directory on it is entered, no link through it leads
// anywhere. Its line in the mount table tells whose it is.
TEST_F(FileSystemTest, ForeignFileSystemIsTrustedForNothing) {
  const struct {
    std::string options, superOptions;
    bool foreign;
  } mounts[] = {
      {"rw", "rw,user_id=65534,group_id=65534,allow_other", true},
      {"rw", "rw,user_id=0,group_id=0", false},
      {"rw,user_id=" + std::to_string(geteuid()), "rw", false},
      {"rw", "rw,user_id=x", true},
  };
  std::string table = "garbage\n";
  for (unsigned minor = 1; const auto& m : mounts) {
    table += "40 1 250:" + std::to_string(minor++) + " / /m " + m.options +
             " shared:9 - fuse.x x " + m.superOptions + "\n";
  }
  Write("mountinfo", table);
  fakeMounts = Path("mountinfo");
  FileSystemCallTable().openat = OpenWithFakes;
  for (unsigned minor = 1; const auto& m : mounts) {
    EXPECT_EQ(ForeignFileSystem(makedev(250, minor)), m.foreign) << minor;
    ++minor;
  }
  EXPECT_FALSE(ForeignFileSystem(makedev(250, 99)));  // in no mount table
  MakeDir("sub");
  Write("mnt.log");
  Link("sub", "tosub");
  for (const char* name : {"sub", "mnt.log"}) {
    struct stat info {};
    ASSERT_EQ(stat(Path(name).c_str(), &info), 0);
    foreignInodes.insert(info.st_ino);
  }
  FileSystemCallTable().statx = StatxWithFakes;
  EXPECT_EQ(IdOf("mnt.log"), FileId{});  // no candidate
  EXPECT_EQ(PathSize(PathText("sub/*.*")), kNothingThere);
  EXPECT_EQ(PathSize(PathText("sub")), kNothingThere);
  const Listing tosub = Listed("tosub");
  EXPECT_EQ(IsLinkToDirectory(tosub.name, tosub.id), 0);
  foreignInodes.clear();
}

// A clock that moves on 0.3 s at every reading.
int64_t fakeClock = 0;
int SteppingClock(clockid_t, timespec* now) {
  fakeClock += 300000000;
  *now = {static_cast<time_t>(fakeClock / 1000000000), static_cast<long>(fakeClock % 1000000000)};
  return 0;
}

// The walk of /proc keeps only files on the device asked about, and a walk
// that took 0.3 s is not made again before 3 s have passed.
TEST_F(FileSystemTest, OpenFilesWalkKeepsOneDeviceAndSpacesItself) {
  Write("f");
  fs::create_directories(Path("proc/7/fd"));
  Link(Path("f"), "proc/7/fd/3");
  Link(Path("f"), "proc/7/fd/4");  // seen on another device
  struct stat f {};
  ASSERT_EQ(stat(Path("f").c_str(), &f), 0);
  fakeProc = Path("proc");
  FileSystemCallTable().openat = OpenWithFakes;
  FileSystemCallTable().clockGettime = SteppingClock;
  FileSystemCallTable().statx = StatxWithFakes;
  OpenFiles held;
  walks = 0;
  for (int i = 0; i < 30; ++i) EXPECT_TRUE(HeldOpen(held, f.st_dev, f.st_ino));  // 9 s or more
  EXPECT_EQ(walks, 3);
  EXPECT_EQ(held.descriptors, 2);
  EXPECT_EQ(held.files.size(), 1u);
  EXPECT_TRUE(HeldOpen(held, f.st_dev + 1, f.st_ino));  // descriptor 4's, in a walk of its own
  EXPECT_EQ(walks, 4);
}

// The caller stays in block 1 while the second thread reads ahead as far as
// its slots reach; every block's facts must still be its own entries'.
TEST(FactsPrefetchTest, ReadsAheadToItsLimitAndKeepsEachBlocksFacts) {
  using Prefetch = FactsPrefetch<size_t>;
  std::mutex lock;
  std::condition_variable progress;
  size_t last = 0;
  bool gateOpen = false;  // past block 1 only once the caller is in it
  auto prefetch = Prefetch::Start(
      Prefetch::kBlock * 40,
      [&](size_t index, size_t& facts) {
        facts = index;
        std::unique_lock<std::mutex> guard(lock);
        progress.wait(guard, [&] { return gateOpen || index < 2 * Prefetch::kBlock; });
        last = std::max(last, index);
        progress.notify_all();
        return true;
      },
      SystemFileSystemCalls().startThread);
  ASSERT_NE(prefetch, nullptr);
  const size_t limit = Prefetch::kBlock * (2 * Prefetch::kSlots) - 1;  // end of block 15
  size_t facts = 0;
  {
    std::unique_lock<std::mutex> guard(lock);
    progress.wait(guard, [&] { return last == 2 * Prefetch::kBlock - 1; });
    guard.unlock();
    prefetch->Take(Prefetch::kBlock, facts);  // block 1, read by the second thread
    guard.lock();
    gateOpen = true;
    progress.notify_all();
    ASSERT_TRUE(progress.wait_for(guard, std::chrono::seconds(10), [&] { return last >= limit; }));
    progress.wait_for(guard, std::chrono::milliseconds(50));
    EXPECT_EQ(last, limit);  // no further while the caller stays
  }
  for (size_t index = Prefetch::kBlock; index < Prefetch::kBlock * 40; ++index) {
    const bool read = prefetch->Take(index, facts);
    EXPECT_TRUE(read ? facts == index : index >= 2 * Prefetch::kBlock) << index;
  }
}

}  // namespace
