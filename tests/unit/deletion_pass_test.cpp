// The deletion pass and the summary against an in-memory directory and a
// scripted console.
#include "driver/deletion_pass.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "driver/candidates.h"
#include "fakes/fake_services.h"

namespace {

struct File {
  Text name;
  int64_t size;
  uint64_t id = 0;  // files given the same id are hard links of one file
};

// Collects the given files (newest first in the given order) from a fresh
// directory and runs the pass; returns the output lines.
std::vector<Text> RunPass(RunSettings& settings, const std::vector<File>& files,
                          std::deque<Text> answers = {}) {
  fake::Reset();
  fake::directory().path = settings.directory;
  settings.scanDirectory = ResolveDirectory(settings.directory);
  int64_t created = 1000;
  for (const File& file : files) {
    const uint64_t id = file.id != 0 ? file.id : static_cast<uint64_t>(created) + 100;
    fake::directory().entries.push_back(
        {.name = file.name, .size = file.size, .created = created--, .id = id});
  }
  fake::answers() = std::move(answers);
  CandidateList list;
  CollectCandidates(settings, list);
  DeletionPass(settings, list);
  PrintSummary(settings, list);
  return fake::OutputLines();
}

RunSettings Mode(int64_t deleteMode, int64_t batchMode, Text directory = u"/logs") {
  RunSettings settings;
  settings.directory = directory;
  settings.pattern = u"*.*";
  settings.deleteMode = deleteMode;
  settings.batchMode = batchMode;
  return settings;
}

class DeletionPass : public fake::ServicesTest {};

TEST_F(DeletionPass, SimulationListsAndDeletesNothing) {
  RunSettings settings = Mode(0, 1);
  std::vector<Text> lines = RunPass(settings, {{u"a", 1}, {u"b", 2}, {u"c", 3}});
  EXPECT_EQ(lines, (std::vector<Text>{u"Datei a wird gelöscht. (Simulation!)",
                                      u"Datei b wird gelöscht. (Simulation!)",
                                      u"Datei c wird gelöscht. (Simulation!)"}));
  EXPECT_TRUE(fake::removed().empty());
}

TEST_F(DeletionPass, BatchSummaryCountsAndUnits) {
  struct Case {
    std::vector<File> files;
    Text countLine, sizeLine;
  };
  const Case cases[] = {
      {{{u"a", 1536}, {u"b", 512}},
       u"Es wurden 2 Dateien gelöscht.",
       u"Dabei wurden 2 KiB freigegeben."},
      {{{u"a", 1023}}, u"Es wurde 1 Datei gelöscht.", u"Dabei wurden 1023 B freigegeben."},
      // Two names of one file: only the last name frees its size.
      {{{u"a", 4096, 7}, {u"b", 4096, 7}},
       u"Es wurden 2 Dateien gelöscht.",
       u"Dabei wurden 4 KiB freigegeben."},
      // Two sparse files of 2^63 - 1 bytes: the sum counts modulo 2^64, unsigned.
      {{{u"a", INT64_MAX}, {u"b", INT64_MAX}},
       u"Es wurden 2 Dateien gelöscht.",
       u"Dabei wurden 17179869183 GiB freigegeben."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.sizeLine));
    RunSettings settings = Mode(1, 1);
    std::vector<Text> lines = RunPass(settings, c.files);
    ASSERT_EQ(lines.size(), c.files.size() + 3);
    EXPECT_EQ(lines[0], u"Datei a wird gelöscht. OK!");
    EXPECT_EQ(lines[c.files.size()], u"");
    EXPECT_EQ(lines[c.files.size() + 1], c.countLine);
    EXPECT_EQ(lines[c.files.size() + 2], c.sizeLine);
  }
}

TEST_F(DeletionPass, FailureIsReportedAndThePassGoesOn) {
  RunSettings settings = Mode(1, 1);
  fake::directory().path = settings.directory;
  settings.scanDirectory = ResolveDirectory(settings.directory);
  fake::directory().entries = {{.name = u"locked", .size = 5, .created = 3, .id = 1},
                               {.name = u"swapped", .size = 6, .created = 2, .id = 2},
                               {.name = u"free", .size = 7, .created = 1, .id = 3}};
  fake::directory().undeletable = {u"locked"};
  CandidateList list;
  CollectCandidates(settings, list);
  fake::directory().entries[1].id = 4;  // "swapped" renamed away, a new file in its place
  ::DeletionPass(settings, list);       // the stage, not this suite's fixture
  PrintSummary(settings, list);
  EXPECT_EQ(
      fake::OutputLines(),
      (std::vector<Text>{u"Datei locked wird gelöscht. Fehler!",
                         u"Datei swapped wird gelöscht. Fehler!", u"Datei free wird gelöscht. OK!",
                         u"", u"Es wurde 1 Datei gelöscht.", u"Dabei wurden 7 B freigegeben."}));
  EXPECT_EQ(fake::directory().entries.size(), 2u);  // the new "swapped" stays
}

TEST_F(DeletionPass, ConfirmationAnswers) {
  const Text prompt = u"Bitte mit \"J\" oder \"Y\" bestätigen ";
  struct Case {
    Text answer;
    bool accepted;
  };
  const Case cases[] = {{u"j", true},   {u"J", true},       {u"ja", true}, {u"y", true},
                        {u"Yes", true}, {u"n", false},      {u"", false},  {u" j", false},
                        {u"x", false},  {Text(1, 4), false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.answer));
    RunSettings settings = Mode(1, 0);
    std::vector<Text> lines = RunPass(settings, {{u"a", 3}}, {c.answer});
    Text expected =
        u"Datei a wird gelöscht. " + prompt + (c.accepted ? u"OK!" : u"Löschvorgang abgebrochen");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], expected);
    EXPECT_EQ(settings.deletedCount, c.accepted ? 1 : 0);
  }
}

TEST_F(DeletionPass, EndOfInputRefusesEveryLaterFile) {
  RunSettings settings = Mode(1, 0);
  std::vector<Text> lines = RunPass(settings, {{u"a", 1}, {u"b", 1}, {u"c", 1}}, {u"j"});
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_NE(lines[0].find(u"OK!"), Text::npos);
  EXPECT_NE(lines[1].find(u"Löschvorgang abgebrochen"), Text::npos);
  EXPECT_NE(lines[2].find(u"Löschvorgang abgebrochen"), Text::npos);
  EXPECT_EQ(fake::removed().size(), 1u);
}

TEST_F(DeletionPass, ShortOfMemoryIsSaidAndDeletesOnlyWhatAFullListWould) {
  RunSettings settings = Mode(1, 1);
  settings.spareCount = 1;  // a full list spares c and deletes b and a
  fake::directory().path = settings.directory;
  settings.scanDirectory = ResolveDirectory(settings.directory);
  fake::directory().entries = {{.name = u"c", .created = 3, .id = 3, .lost = true},
                               {.name = u"b", .created = 2, .id = 2},
                               {.name = u"a", .created = 1, .id = 1}};
  CandidateList list;
  CollectCandidates(settings, list);
  SpareNewest(settings, list);
  ::DeletionPass(settings, list);
  EXPECT_EQ(fake::OutputLines(),
            (std::vector<Text>{u"Fehler: Zu wenig Speicher, die Liste ist unvollständig.",
                               u"Datei a wird gelöscht. OK!"}));
}

TEST_F(DeletionPass, EmptyListSaysNothingFound) {
  RunSettings settings = Mode(1, 1);
  EXPECT_EQ(RunPass(settings, {}), (std::vector<Text>{u"Keine zu löschenden Dateien gefunden"}));
}

TEST_F(DeletionPass, FreedSizeThresholds) {
  struct Case {
    int64_t bytes;
    Text text;
  };
  const Case cases[] = {{0, u"0 B"},
                        {1023, u"1023 B"},
                        {1024, u"1 KiB"},
                        {1048575, u"1023 KiB"},
                        {1048576, u"1 MiB"},
                        {1073741823, u"1023 MiB"},
                        {1073741824, u"1 GiB"},
                        {5497558138880, u"5120 GiB"},
                        {INT64_MIN, u"8589934592 GiB"},
                        {-1, u"17179869183 GiB"}};
  for (const Case& c : cases) EXPECT_EQ(FormatFreedSize(c.bytes), c.text) << c.bytes;
}

}  // namespace
