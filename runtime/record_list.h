// Ordered list of records with one cursor and a stable merge sort that
// relinks records in place. Records keep their identity while they stay in
// the list, so a pointer to one stays valid until it is removed.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "runtime/text.h"

// Key types the sort understands (the numbers callers pass).
enum KeyType : int {
  kKeyInt8 = 1,
  kKeyInt16 = 3,
  kKeyInt32 = 5,
  kKeyText = 8,
  kKeyFloat = 9,
  kKeyChar = 11,
  kKeyDouble = 12,
  kKeyInt64 = 13,
  kKeyDate = 21,
  kKeyUInt8 = 24,
  kKeyUInt16 = 25,
};

// Sort option bits.
inline constexpr int kSortDescending = 1;
inline constexpr int kSortIgnoreCase = 2;

template <class T>
struct RecordNode {
  T value{};
  RecordNode* prev = nullptr;
  RecordNode* next = nullptr;
};

namespace record_list_detail {

// Storage for the nodes of one list: blocks of growing size, carved out in
// order, and a chain of the nodes given back, so a list of a million records
// costs a few dozen allocations and no per-record heap overhead.
template <class T>
class NodePool {
 public:
  NodePool() = default;
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;
  ~NodePool() { Release(); }

  // A zero-filled node, or nullptr when no storage is left.
  RecordNode<T>* Take() {
    void* place = freeNodes_;
    if (freeNodes_ != nullptr) {
      freeNodes_ = freeNodes_->next;
    } else {
      if (used_ == capacity_ && !Grow()) return nullptr;
      place = blocks_.back() + used_++ * sizeof(RecordNode<T>);
    }
    return new (place) RecordNode<T>();
  }

  // Destroys a node taken from this pool and keeps its storage for reuse.
  void Give(RecordNode<T>* node) {
    node->~RecordNode<T>();
    freeNodes_ = ::new (static_cast<void*>(node)) FreeLink{freeNodes_};
  }

  // Frees every block; the nodes must have been destroyed or given back.
  void Release() {
    for (std::byte* block : blocks_) {
      ::operator delete (block, std::align_val_t{alignof(RecordNode<T>)});
    }
    blocks_.clear();
    used_ = capacity_ = 0;
    freeNodes_ = nullptr;
  }

 private:
  // What a given-back node's storage holds: the next given-back node.
  struct FreeLink {
    FreeLink* next;
  };
  static_assert(sizeof(RecordNode<T>) >= sizeof(FreeLink));
  static constexpr size_t kFirstBlock = 16;
  static constexpr size_t kLargestBlock = 65536;

  bool Grow() {
    const size_t nodes = capacity_ == 0 ? kFirstBlock : std::min(capacity_ * 2, kLargestBlock);
    void* block = ::operator new (nodes * sizeof(RecordNode<T>),
                                  std::align_val_t{alignof(RecordNode<T>)}, std::nothrow);
    if (block == nullptr) return false;
    try {
      blocks_.push_back(static_cast<std::byte*>(block));
    } catch (...) {
      ::operator delete (block, std::align_val_t{alignof(RecordNode<T>)});
      return false;
    }
    used_ = 0;
    capacity_ = nodes;
    return true;
  }

  std::vector<std::byte*> blocks_;
  size_t used_ = 0;      // nodes carved out of the newest block
  size_t capacity_ = 0;  // nodes the newest block holds
  FreeLink* freeNodes_ = nullptr;
};

}  // namespace record_list_detail

// The cursor is `current`; nullptr means before the first record.
template <class T>
struct RecordList {
  RecordNode<T>* first = nullptr;
  RecordNode<T>* last = nullptr;
  RecordNode<T>* current = nullptr;
  int64_t count = 0;
  record_list_detail::NodePool<T> pool;

  RecordList() = default;
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;
  ~RecordList() { ListClear(*this); }
};

// Releases every record; the list is empty afterwards.
template <class T>
void ListClear(RecordList<T>& list) {
  RecordNode<T>* node = list.first;
  while (node != nullptr) {
    RecordNode<T>* next = node->next;
    node->~RecordNode<T>();
    node = next;
  }
  list.pool.Release();
  list.first = list.last = list.current = nullptr;
  list.count = 0;
}

// Inserts a zero-filled record after the cursor (at the front when the cursor
// is before the first record) and puts the cursor on it; nullptr when no
// storage is left, with nothing changed.
template <class T>
T* ListAdd(RecordList<T>& list) {
  RecordNode<T>* node = list.pool.Take();
  if (node == nullptr) return nullptr;
  RecordNode<T>* after = list.current;
  node->prev = after;
  node->next = after != nullptr ? after->next : list.first;
  if (node->next != nullptr)
    node->next->prev = node;
  else
    list.last = node;
  if (after != nullptr)
    after->next = node;
  else
    list.first = node;
  list.current = node;
  ++list.count;
  return &node->value;
}

// Puts the cursor before the first record.
template <class T>
void ListReset(RecordList<T>& list) {
  list.current = nullptr;
}

// Moves the cursor on by one; nullptr (cursor unchanged) past the last record.
template <class T>
T* ListNext(RecordList<T>& list) {
  RecordNode<T>* next = list.current != nullptr ? list.current->next : list.first;
  if (next == nullptr) return nullptr;
  list.current = next;
  return &next->value;
}

// The cursor's record, or nullptr before the first record.
template <class T>
T* ListCurrent(RecordList<T>& list) {
  return list.current != nullptr ? &list.current->value : nullptr;
}

// Removes the cursor's record; the cursor goes to its predecessor (before the
// first record when it was the first). Returns the cursor's record.
template <class T>
T* ListRemoveCurrent(RecordList<T>& list) {
  RecordNode<T>* node = list.current;
  if (node == nullptr) return nullptr;
  if (node->prev != nullptr)
    node->prev->next = node->next;
  else
    list.first = node->next;
  if (node->next != nullptr)
    node->next->prev = node->prev;
  else
    list.last = node->prev;
  list.current = node->prev;
  --list.count;
  list.pool.Give(node);
  return ListCurrent(list);
}

template <class T>
int64_t ListLength(const RecordList<T>& list) {
  return list.count;
}

namespace record_list_detail {

// Three-way comparison of two keys: negative, zero or positive.
template <class K>
int CompareKeys(const K& a, const K& b, int /*options*/) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// ASCII letters fold to lower case, as the C runtime's case-insensitive
// comparison does in the "C" locale.
inline char16_t FoldAscii(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit;
}

inline int CompareKeys(const Text& a, const Text& b, int options) {
  const bool fold = (options & kSortIgnoreCase) != 0;
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    char16_t x = fold ? FoldAscii(a[i]) : a[i];
    char16_t y = fold ? FoldAscii(b[i]) : b[i];
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// True when `right` must come strictly before `left`.
template <class T, class K>
bool GoesFirst(const RecordNode<T>* right, const RecordNode<T>* left, K T::*key, int options) {
  int order = CompareKeys(right->value.*key, left->value.*key, options);
  return (options & kSortDescending) != 0 ? order > 0 : order < 0;
}

// Sorts the chain of n records starting at `head` (its links beyond the n-th
// record are ignored); returns the new head with prev links set and the last
// record's next cleared.
template <class T, class K>
RecordNode<T>* SortChain(RecordNode<T>* head, int64_t n, K T::*key, int options) {
  if (n < 2) {
    head->next = nullptr;
    head->prev = nullptr;
    return head;
  }
  if (n == 2) {
    RecordNode<T>* second = head->next;
    RecordNode<T>* a = head;
    RecordNode<T>* b = second;
    if (GoesFirst(second, head, key, options)) std::swap(a, b);
    a->prev = nullptr;
    a->next = b;
    b->prev = a;
    b->next = nullptr;
    return a;
  }
  int64_t leftCount = n / 2;
  RecordNode<T>* rightHead = head;
  for (int64_t i = 0; i < leftCount; ++i) rightHead = rightHead->next;
  RecordNode<T>* left = SortChain(head, leftCount, key, options);
  RecordNode<T>* right = SortChain(rightHead, n - leftCount, key, options);
  RecordNode<T>* merged = nullptr;
  RecordNode<T>* tail = nullptr;
  while (left != nullptr || right != nullptr) {
    RecordNode<T>* take;
    if (left == nullptr || (right != nullptr && GoesFirst(right, left, key, options))) {
      take = right;
      right = right->next;
    } else {
      take = left;
      left = left->next;
    }
    take->prev = tail;
    if (tail != nullptr)
      tail->next = take;
    else
      merged = take;
    tail = take;
  }
  tail->next = nullptr;
  return merged;
}

// True when no record must come before its predecessor: the stable sort
// would leave the order as it is.
template <class T, class K>
bool InOrder(const RecordNode<T>* head, K T::*key, int options) {
  for (const RecordNode<T>* node = head; node->next != nullptr; node = node->next) {
    if (GoesFirst(node->next, node, key, options)) return false;
  }
  return true;
}

inline bool KnownKeyType(int keyType) {
  switch (keyType) {
    case kKeyInt8:
    case kKeyInt16:
    case kKeyInt32:
    case kKeyText:
    case kKeyFloat:
    case kKeyChar:
    case kKeyDouble:
    case kKeyInt64:
    case kKeyDate:
    case kKeyUInt8:
    case kKeyUInt16:
      return true;
    default:
      return false;
  }
}

}  // namespace record_list_detail

// Stable top-down merge sort on the field `key`; option bits kSortDescending
// and kSortIgnoreCase (text keys). The cursor stays on its record. An unknown
// key type leaves the order unchanged.
template <class T, class K>
void ListSort(RecordList<T>* list, int options, K T::*key, int keyType) {
  if (list == nullptr || list->count == 0) return;
  if (!record_list_detail::KnownKeyType(keyType)) return;
  // The passes sort the same list again and again; a list already in order
  // costs one walk instead of a full sort.
  if (record_list_detail::InOrder(list->first, key, options)) return;
  list->first = record_list_detail::SortChain(list->first, list->count, key, options);
  RecordNode<T>* tail = list->first;
  while (tail->next != nullptr) tail = tail->next;
  list->last = tail;
}

template <class T, class K>
void ListSortDescending(RecordList<T>* list, K T::*key, int keyType) {
  ListSort(list, kSortDescending, key, keyType);
}
