// Candidate selection against an in-memory directory and a settable clock.
#include <gtest/gtest.h>

#include <vector>

#include "driver/candidates.h"
#include "fakes/fake_services.h"
#include "runtime/regex.h"

namespace {

constexpr int64_t kNow = 1700000000;
constexpr int64_t kDay = 86400;

// Runs collection and the three passes; returns the names left, newest first.
std::vector<Text> Select(RunSettings settings) {
  settings.scanDirectory = ResolveDirectory(settings.directory);
  CandidateList list;
  CollectCandidates(settings, list);
  FilterByName(settings, list);
  DropLinksToDirectories(list);
  FilterByAge(settings, list);
  SpareNewest(settings, list);
  ReleaseAllPatterns();
  std::vector<Text> names;
  SortNewestFirst(list);
  while (FileEntry* entry = ListNext(list)) names.push_back(NameText(entry->Name()));
  return names;
}

RunSettings Settings(int64_t days, int64_t hours, int64_t spare, Text expression = u"") {
  RunSettings settings;
  settings.directory = u"/logs";
  settings.pattern = u"*.*";
  settings.minDays = days;
  settings.minHours = hours;
  settings.spareCount = spare;
  settings.nameExpression = expression;
  return settings;
}

RunSettings Pattern(Text pattern) {
  RunSettings settings = Settings(0, 0, 0);
  settings.pattern = pattern;
  return settings;
}

RunSettings Minutes(int64_t minutes) {
  RunSettings settings = Settings(0, 0, 0);
  settings.minMinutes = minutes;
  return settings;
}

// A fresh /logs holding `entries`, the clock at kNow.
void SetDirectory(std::vector<fake::Entry> entries) {
  fake::Reset();
  fake::clock() = kNow;
  fake::directory().path = u"/logs";
  fake::directory().entries = std::move(entries);
}

class Selection : public fake::ServicesTest {};

TEST_F(Selection, AgeSpareAndNameFilters) {
  struct Case {
    const char* what;
    RunSettings settings;
    std::vector<Text> expected;
  };
  const Case cases[] = {
      {"two days", Settings(2, 0, 0), {u"b", u"a"}},
      {"two days, one spared", Settings(2, 0, 1), {u"a"}},
      {"one day minus 24 hours switches the age pass off", Settings(1, -24, 0), {u"c", u"b", u"a"}},
      {"negative age", Settings(-5, 0, 0), {u"c", u"b", u"a"}},
      // Totals beyond the 64-bit range count as the largest age, below it as
      // the smallest; taken modulo 2^64 they switched the pass off or made
      // it 128 seconds.
      {"days just beyond the range", Settings(INT64_MAX / 86400 + 1, 0, 0), {}},
      {"hours just beyond the range", Settings(0, 2562047788015216, 0), {}},
      {"minutes just beyond the range", Minutes(153722867280912931), {}},
      {"days that wrap to 128 seconds", Settings(94368760191893771, 0, 0), {}},
      {"days below the range", Settings(-200000000000000, 0, 0), {u"c", u"b", u"a"}},
      {"parts beyond the range that cancel exactly",
       Settings(200000000000000, -4800000000000000, 0),
       {u"c", u"b", u"a"}},
      {"ten to spare of three", Settings(0, 0, 10), {}},
      {"negative spare", Settings(0, 0, -3), {u"c", u"b", u"a"}},
      {"exactly the minimum age is spared", Settings(5, 0, 0), {u"a"}},
      {"expression", Settings(0, 0, 0, u"^[ab]$"), {u"b", u"a"}},
      {"expression that does not compile", Settings(0, 0, 0, u"("), {}},
      {"case-sensitive expression", Settings(0, 0, 0, u"A"), {}},
      // A name without wildcards keeps its case where the system's names do.
      {"exact name", Pattern(u"A"),
       kExactNamesKeepCase ? std::vector<Text>{} : std::vector<Text>{u"a"}},
      {"pattern", Pattern(u"?"), {u"c", u"b", u"a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetDirectory({{u"a", kFileType, 1, kNow - 10 * kDay},
                  {u"b", kFileType, 1, kNow - 5 * kDay},
                  {u"c", kFileType, 1, kNow - 1 * kDay},
                  {u"sub", kDirectoryType, 0, kNow - 30 * kDay},
                  {u".", kDirectoryType, 0, kNow - 30 * kDay},
                  // vanished or can't be examined: never a candidate
                  {.name = u"gone", .size = 1, .id = 7, .readable = false}});
    EXPECT_EQ(Select(c.settings), c.expected);
  }
}

TEST_F(Selection, NameFilterRunsBeforeTheSparePass) {
  SetDirectory({{u"x.log", kFileType, 1, kNow - 3 * kDay},
                {u"x.log.bak", kFileType, 1, kNow - 2 * kDay},
                {u"y.txt", kFileType, 1, kNow - 1 * kDay},
                {u"z.log", kFileType, 1, kNow - 4 * kDay}});
  EXPECT_EQ(Select(Settings(0, 0, 1, u"\\.log$")), (std::vector<Text>{u"z.log"}));
}

// A link's target is looked at only for names that passed, and before the
// spare pass counts: a link to a directory is spared by nobody.
TEST_F(Selection, LinksAreExaminedAfterTheNameFilterAndBeforeTheSparePass) {
  SetDirectory({{.name = u"a", .created = kNow - 4 * kDay},
                {.name = u"l-dir", .created = kNow - 1 * kDay, .linkTo = kDirectoryType},
                {.name = u"l-file", .created = kNow - 2 * kDay, .linkTo = kFileType},
                {.name = u"x-dir", .created = kNow - 3 * kDay, .linkTo = kDirectoryType}});
  EXPECT_EQ(Select(Settings(0, 0, 1, u"^[al]")), (std::vector<Text>{u"a"}));
  EXPECT_EQ(fake::linksExamined(), (std::vector<Text>{u"l-dir", u"l-file"}));
}

// Names whose match runs into the expression's limits match nothing, and the
// run says how many there were, once.
TEST_F(Selection, CostlyNamesAreCountedOnce) {
  const Text costly = Text(u"000123") + Text(220, u'a') + u".log!";
  SetDirectory({{.name = costly + u"1"}, {.name = u"ok.log"}, {.name = costly + u"2"}});
  EXPECT_EQ(Select(Settings(0, 0, 0, u"^(\\w+\\.?)+\\.log$")), (std::vector<Text>{u"ok.log"}));
  EXPECT_EQ(fake::OutputLines(), (std::vector<Text>{u"Fehler: Ausdruck zu aufwendig für 2 Namen"}));
}

// Within one second the finer creation time decides; only files made at the
// very same moment keep the scan's order, the first scanned spared.
TEST_F(Selection, EqualTimesKeepScanOrderSoTheFirstScannedAreSpared) {
  SetDirectory({{u"o", kFileType, 1, kNow - kDay, 100},
                {u"p", kFileType, 1, kNow - kDay, 500},
                {u"q", kFileType, 1, kNow - kDay, 200},
                {u"r", kFileType, 1, kNow - kDay, 500},
                {u"s", kFileType, 1, -1},
                {u"t", kFileType, 1, 0}});
  EXPECT_EQ(Select(Settings(0, 0, 2)), (std::vector<Text>{u"q", u"o", u"t", u"s"}));
}

TEST_F(Selection, ClockPastTheRangeSparesEveryEntry) {
  SetDirectory({{u"a", kFileType, 1, kNow - 3 * kDay}, {u"b", kFileType, 1, -1}});
  fake::clock() = -1;
  EXPECT_EQ(Select(Settings(1, 0, 0)), (std::vector<Text>{}));
}

TEST_F(Selection, MissingDirectoryYieldsNothingAndSaysSo) {
  SetDirectory({{u"a", kFileType, 1, 1}});
  RunSettings settings = Settings(0, 0, 0);
  settings.directory = u"/elsewhere";
  EXPECT_TRUE(Select(settings).empty());
  EXPECT_EQ(fake::OutputLines(),
            (std::vector<Text>{u"Fehler: Verzeichnis kann nicht gelesen werden: /elsewhere"}));
}

}  // namespace
