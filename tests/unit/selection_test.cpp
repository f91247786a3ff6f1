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
std::vector<Text> Select(const RunSettings& settings) {
  CandidateList list;
  CollectCandidates(settings, list);
  FilterByName(settings, list);
  FilterByAge(settings, list);
  SpareNewest(settings, list);
  ReleaseAllPatterns();
  std::vector<Text> names;
  SortNewestFirst(list);
  while (FileEntry* entry = ListNext(list)) names.emplace_back(entry->name);
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

void SetDirectory(std::vector<fake::Entry> entries) {
  fake::Reset();
  fake::clock() = kNow;
  fake::directory().path = u"/logs";
  fake::directory().entries = std::move(entries);
}

TEST(Selection, TypicalRunKeepsTheTwoOldestBeyondTheSpared) {
  SetDirectory({{u"app1.log", 1, 2048, kNow - 20 * kDay},
                {u"app2.log", 1, 1024, kNow - 15 * kDay},
                {u"app3.log", 1, 10, kNow - 10 * kDay},
                {u"app4.log", 1, 10, kNow - 9 * kDay},
                {u"app5.log", 1, 10, kNow - 1 * kDay}});
  RunSettings settings = Settings(7, 0, 2);
  settings.pattern = u"*.log";
  EXPECT_EQ(Select(settings), (std::vector<Text>{u"app2.log", u"app1.log"}));
}

TEST(Selection, AgeSpareAndNameFilters) {
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
      {"overflow wraps to a negative age",
       Settings(INT64_MAX / 86400 + 1, 0, 0),
       {u"c", u"b", u"a"}},
      {"ten to spare of three", Settings(0, 0, 10), {}},
      {"negative spare", Settings(0, 0, -3), {u"c", u"b", u"a"}},
      {"exactly the minimum age is spared", Settings(5, 0, 0), {u"a"}},
      {"expression", Settings(0, 0, 0, u"^[ab]$"), {u"b", u"a"}},
      {"expression that does not compile", Settings(0, 0, 0, u"("), {}},
      {"case-sensitive expression", Settings(0, 0, 0, u"A"), {}},
  };
  for (const Case& c : cases) {
    SetDirectory({{u"a", 1, 1, kNow - 10 * kDay},
                  {u"b", 1, 1, kNow - 5 * kDay},
                  {u"c", 1, 1, kNow - 1 * kDay},
                  {u"sub", 2, 0, kNow - 30 * kDay},
                  {u".", 2, 0, kNow - 30 * kDay}});
    EXPECT_EQ(Select(c.settings), c.expected) << c.what;
  }
}

TEST(Selection, NameFilterRunsBeforeTheSparePass) {
  SetDirectory({{u"x.log", 1, 1, kNow - 3 * kDay},
                {u"x.log.bak", 1, 1, kNow - 2 * kDay},
                {u"y.txt", 1, 1, kNow - 1 * kDay},
                {u"z.log", 1, 1, kNow - 4 * kDay}});
  EXPECT_EQ(Select(Settings(0, 0, 1, u"\\.log$")), (std::vector<Text>{u"z.log"}));
}

TEST(Selection, EqualTimesKeepScanOrderSoTheFirstScannedAreSpared) {
  SetDirectory({{u"p", 1, 1, kNow - kDay},
                {u"q", 1, 1, kNow - kDay},
                {u"r", 1, 1, kNow - kDay},
                {u"s", 1, 1, -1},
                {u"t", 1, 1, 0}});
  EXPECT_EQ(Select(Settings(0, 0, 2)), (std::vector<Text>{u"r", u"t", u"s"}));
}

TEST(Selection, ClockIsReadForEveryEntryOfTheAgePass) {
  SetDirectory({{u"a", 1, 1, kNow - 3 * kDay}, {u"b", 1, 1, kNow - 3 * kDay}});
  Select(Settings(1, 0, 0));
  EXPECT_EQ(fake::clockReads(), 2);
}

TEST(Selection, ClockPastTheRangeSparesEveryEntry) {
  SetDirectory({{u"a", 1, 1, kNow - 3 * kDay}, {u"b", 1, 1, -1}});
  fake::clock() = -1;
  EXPECT_EQ(Select(Settings(1, 0, 0)), (std::vector<Text>{}));
}

TEST(Selection, EntriesShareOneDirectoryText) {
  SetDirectory({{u"a", 1, 1, 1}, {u"b", 1, 1, 2}});
  RunSettings settings = Settings(0, 0, 0);
  CandidateList list;
  CollectCandidates(settings, list);
  while (FileEntry* entry = ListNext(list)) EXPECT_EQ(entry->path, &settings.directory);
}

TEST(Selection, MissingDirectoryYieldsNothing) {
  SetDirectory({{u"a", 1, 1, 1}});
  RunSettings settings = Settings(0, 0, 0);
  settings.directory = u"/elsewhere";
  EXPECT_TRUE(Select(settings).empty());
}

}  // namespace
