// The record list: cursor walks with removal and the stable sort.
#include "runtime/record_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct Record {
  Text name;
  int64_t key = 0;
  double ratio = 0;
};

std::vector<Text> Names(RecordList<Record>& list) {
  std::vector<Text> names;
  for (uint32_t at = list.first; at != kNoNode; at = list.Node(at)->next) {
    names.push_back(list.Node(at)->value.name);
  }
  // The backward links must agree with the forward ones.
  std::vector<Text> backward;
  for (uint32_t at = list.last; at != kNoNode; at = list.Node(at)->prev) {
    backward.insert(backward.begin(), list.Node(at)->value.name);
  }
  EXPECT_EQ(names, backward);
  EXPECT_EQ(static_cast<int64_t>(names.size()), ListLength(list));
  return names;
}

void Fill(RecordList<Record>& list, std::vector<std::pair<Text, int64_t>> records) {
  for (auto& [name, key] : records) {
    Record* record = ListAdd(list);
    record->name = name;
    record->key = key;
  }
}

TEST(RecordList, AddInsertsAfterTheCursor) {
  RecordList<Record> list;
  Fill(list, {{u"alpha", 0}, {u"beta", 0}, {u"gamma", 0}});
  EXPECT_EQ(Names(list), (std::vector<Text>{u"alpha", u"beta", u"gamma"}));
  EXPECT_EQ(ListCurrent(list)->name, u"gamma");
  ListReset(list);
  Record* delta = ListAdd(list);
  delta->name = u"delta";
  EXPECT_EQ(delta->key, 0);
  EXPECT_EQ(Names(list), (std::vector<Text>{u"delta", u"alpha", u"beta", u"gamma"}));
}

// Walks the list and removes the records whose names are in `remove`;
// returns the names visited.
std::vector<Text> Walk(RecordList<Record>& list, std::vector<Text> remove) {
  std::vector<Text> visited;
  ListReset(list);
  while (Record* record = ListNext(list)) {
    visited.push_back(record->name);
    if (std::find(remove.begin(), remove.end(), record->name) != remove.end()) {
      ListRemoveCurrent(list);
    }
  }
  return visited;
}

TEST(RecordList, WalksWithRemovalVisitEveryRecordOnce) {
  struct Case {
    std::vector<Text> remove, left;
  };
  const Case cases[] = {
      {{u"a"}, {u"b", u"c"}},   {{u"c"}, {u"a", u"b"}},   {{u"b"}, {u"a", u"c"}},
      {{u"a", u"b", u"c"}, {}}, {{}, {u"a", u"b", u"c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.remove));
    RecordList<Record> list;
    Fill(list, {{u"a", 0}, {u"b", 0}, {u"c", 0}});
    EXPECT_EQ(Walk(list, c.remove), (std::vector<Text>{u"a", u"b", u"c"}));
    EXPECT_EQ(Names(list), c.left);
  }
}

TEST(RecordList, CursorTransitions) {
  RecordList<Record> list;
  EXPECT_EQ(ListNext(list), nullptr);
  EXPECT_EQ(ListRemoveCurrent(list), nullptr);
  Fill(list, {{u"alpha", 0}, {u"beta", 0}, {u"gamma", 0}});
  ListReset(list);
  EXPECT_EQ(ListRemoveCurrent(list), nullptr);  // before the first: nothing removed
  EXPECT_EQ(ListLength(list), 3);
  ListNext(list);
  EXPECT_EQ(ListRemoveCurrent(list), nullptr);  // first removed: before the first
  EXPECT_EQ(ListNext(list)->name, u"beta");
  ListNext(list);
  EXPECT_EQ(ListRemoveCurrent(list)->name, u"beta");  // last removed: on its predecessor
  EXPECT_EQ(ListNext(list), nullptr);
  EXPECT_EQ(ListNext(list), nullptr);
  EXPECT_EQ(ListCurrent(list)->name, u"beta");
  EXPECT_EQ(Names(list), (std::vector<Text>{u"beta"}));
}

TEST(RecordList, SortIsStableBothWays) {
  struct Case {
    int options;
    std::vector<std::pair<Text, int64_t>> records;
    std::vector<Text> order;
  };
  const Case cases[] = {
      {kSortDescending,
       {{u"alpha", 5}, {u"beta", 7}, {u"gamma", 5}, {u"delta", 9}},
       {u"delta", u"beta", u"alpha", u"gamma"}},
      {0,
       {{u"alpha", 5}, {u"beta", 7}, {u"gamma", 5}, {u"delta", 9}},
       {u"alpha", u"gamma", u"beta", u"delta"}},
      {kSortDescending, {{u"minus", -1}, {u"zero", 0}}, {u"zero", u"minus"}},
      {0, {}, {}},
      {0, {{u"only", 3}}, {u"only"}},
      {0, {{u"a", 1}, {u"b", 2}, {u"c", 3}}, {u"a", u"b", u"c"}},
      {kSortDescending,
       {{u"a", 1}, {u"b", 3}, {u"c", 1}, {u"d", 3}, {u"e", 2}, {u"f", 1}, {u"g", 3}},
       {u"b", u"d", u"g", u"e", u"a", u"c", u"f"}},
  };
  for (const Case& c : cases) {
    RecordList<Record> list;
    Fill(list, c.records);
    ListSort(&list, c.options, &Record::key, kKeyDate);
    EXPECT_EQ(Names(list), c.order);
  }
}

TEST(RecordList, SortKeepsTheCursorOnItsRecord) {
  RecordList<Record> list;
  Fill(list, {{u"a", 1}, {u"b", 3}, {u"c", 2}});
  ListSortDescending(&list, &Record::key, kKeyDate);
  EXPECT_EQ(ListCurrent(list)->name, u"c");
  EXPECT_EQ(ListNext(list)->name, u"a");  // order is now b, c, a
}

TEST(RecordList, TextKeysAndUnknownKeyTypes) {
  RecordList<Record> list;
  Fill(list, {{u"b", 0}, {u"A", 0}, {u"", 0}, {u"a", 0}, {u"ab", 0}});
  ListSort(&list, 0, &Record::name, kKeyText);
  EXPECT_EQ(Names(list), (std::vector<Text>{u"", u"A", u"a", u"ab", u"b"}));
  ListSort(&list, kSortIgnoreCase | kSortDescending, &Record::name, kKeyText);
  EXPECT_EQ(Names(list), (std::vector<Text>{u"b", u"ab", u"A", u"a", u""}));
  ListSort(&list, 0, &Record::name, 99);
  EXPECT_EQ(Names(list), (std::vector<Text>{u"b", u"ab", u"A", u"a", u""}));
  ListSort<Record, Text>(nullptr, 0, &Record::name, kKeyText);
  // Only ASCII letters fold when case is ignored.
  RecordList<Record> umlauts;
  Fill(umlauts, {{u"ä", 0}, {u"Ä", 0}, {u"B", 0}, {u"a", 0}});
  ListSort(&umlauts, kSortIgnoreCase, &Record::name, kKeyText);
  EXPECT_EQ(Names(umlauts), (std::vector<Text>{u"a", u"B", u"Ä", u"ä"}));
}

TEST(RecordList, RemovedRecordsMakeRoomForNewOnes) {
  RecordList<Record> list;
  std::vector<Text> kept;
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 300; ++i) {
      Text name(1, static_cast<char16_t>(u'a' + round));
      name += FormatInteger(i);
      ListAdd(list)->name = name;
      if (i % 3 != 0) kept.push_back(name);
    }
    ListReset(list);
    while (Record* record = ListNext(list)) {
      if (std::find(kept.begin(), kept.end(), record->name) == kept.end()) ListRemoveCurrent(list);
    }
    ListReset(list);
    while (ListNext(list) != nullptr) {
    }  // the cursor on the last record again
  }
  EXPECT_EQ(Names(list), kept);
  ListClear(list);
  EXPECT_EQ(Names(list), std::vector<Text>{});
  Fill(list, {{u"again", 1}});
  EXPECT_EQ(Names(list), std::vector<Text>{u"again"});
}

TEST(RecordList, SortsALargeListInPlace) {
  RecordList<Record> list;
  std::vector<Record*> records;
  for (int64_t i = 0; i < 100000; ++i) {
    Record* record = ListAdd(list);
    record->key = (i * 7919) % 1000;
    record->ratio = static_cast<double>(i);
    records.push_back(record);
  }
  ListSortDescending(&list, &Record::key, kKeyDate);
  int64_t previousKey = INT64_MAX;
  double previousIndex = -1;
  for (uint32_t at = list.first; at != kNoNode; at = list.Node(at)->next) {
    const RecordNode<Record>* node = list.Node(at);
    ASSERT_LE(node->value.key, previousKey);
    if (node->value.key == previousKey) {
      ASSERT_GT(node->value.ratio, previousIndex);
    }
    previousKey = node->value.key;
    previousIndex = node->value.ratio;
  }
  EXPECT_EQ(records[42]->ratio, 42);  // records kept their identity
}

}  // namespace
