// Ordered list of records with one cursor and a stable merge sort that
// relinks records in place. Records keep their identity while they stay in
// the list, so a pointer to one stays valid until it is removed.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
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

// Where a node stands in its list's pool: 32 bits, half of what a pointer
// takes, for a list that may hold millions of records. kNoNode is none.
inline constexpr uint32_t kNoNode = UINT32_MAX;

template <class T>
struct RecordNode {
  T value{};
  uint32_t prev = kNoNode;
  uint32_t next = kNoNode;
};

namespace record_list_detail {

// Storage for the nodes of one list: blocks of growing size, carved out in
// order, and a chain of the nodes given back, so a list of a million records
// costs a few dozen allocations and no per-record heap overhead. A node's
// index is its block's number and its place in the block; nodes never move.
template <class T>
class NodePool {
 public:
  NodePool() = default;
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;
  ~NodePool() { Release(); }

  // The node under an index Take answered.
  RecordNode<T>* At(uint32_t index) const {
    return reinterpret_cast<RecordNode<T>*>(blocks_[index >> kSlotBits] +
                                            (index & kSlotMask) * sizeof(RecordNode<T>));
  }

  // The index of a zero-filled node, or kNoNode when no storage is left.
  uint32_t Take() {
    uint32_t index = freeNodes_;
    if (index != kNoNode) {
      freeNodes_ = reinterpret_cast<FreeLink*>(At(index))->next;
    } else {
      if (used_ == capacity_ && !Grow()) return kNoNode;
      index = static_cast<uint32_t>((blocks_.size() - 1) << kSlotBits) + used_++;
    }
    new (At(index)) RecordNode<T>();
    return index;
  }

  // Destroys the node under `index` and keeps its storage for reuse.
  void Give(uint32_t index) {
    RecordNode<T>* node = At(index);
    node->~RecordNode<T>();
    ::new (static_cast<void*>(node)) FreeLink{freeNodes_};
    freeNodes_ = index;
  }

  // Frees every block; the nodes must have been destroyed or given back.
  void Release() {
    for (std::byte* block : blocks_) {
      ::operator delete (block, std::align_val_t{alignof(RecordNode<T>)});
    }
    blocks_.clear();
    used_ = capacity_ = 0;
    freeNodes_ = kNoNode;
  }

 private:
  // What a given-back node's storage holds: the next given-back node.
  struct FreeLink {
    uint32_t next;
  };
  static_assert(sizeof(RecordNode<T>) >= sizeof(FreeLink));
  static constexpr unsigned kSlotBits = 16;
  static constexpr uint32_t kSlotMask = (1u << kSlotBits) - 1;
  static constexpr uint32_t kFirstBlock = 16;
  static constexpr uint32_t kLargestBlock = kSlotMask + 1;
  // Block numbers stay below 0xFFFF, so no index is kNoNode.
  static constexpr size_t kMostBlocks = kSlotMask;

  bool Grow() {
    if (blocks_.size() >= kMostBlocks) return false;
    const uint32_t nodes = capacity_ == 0 ? kFirstBlock : std::min(capacity_ * 2, kLargestBlock);
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
  uint32_t used_ = 0;      // nodes carved out of the newest block
  uint32_t capacity_ = 0;  // nodes the newest block holds
  uint32_t freeNodes_ = kNoNode;
};

}  // namespace record_list_detail

// The cursor is `current`; kNoNode means before the first record.
template <class T>
struct RecordList {
  uint32_t first = kNoNode;
  uint32_t last = kNoNode;
  uint32_t current = kNoNode;
  int64_t count = 0;
  record_list_detail::NodePool<T> pool;

  RecordList() = default;
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;
  ~RecordList() { ListClear(*this); }

  RecordNode<T>* Node(uint32_t index) const { return pool.At(index); }
};

// Releases every record; the list is empty afterwards.
template <class T>
void ListClear(RecordList<T>& list) {
  uint32_t index = list.first;
  while (index != kNoNode) {
    RecordNode<T>* node = list.Node(index);
    index = node->next;
    node->~RecordNode<T>();
  }
  list.pool.Release();
  list.first = list.last = list.current = kNoNode;
  list.count = 0;
}

// Inserts a zero-filled record after the cursor (at the front when the cursor
// is before the first record) and puts the cursor on it; nullptr when no
// storage is left, with nothing changed.
template <class T>
T* ListAdd(RecordList<T>& list) {
  const uint32_t index = list.pool.Take();
  if (index == kNoNode) return nullptr;
  RecordNode<T>* node = list.Node(index);
  const uint32_t after = list.current;
  node->prev = after;
  node->next = after != kNoNode ? list.Node(after)->next : list.first;
  if (node->next != kNoNode)
    list.Node(node->next)->prev = index;
  else
    list.last = index;
  if (after != kNoNode)
    list.Node(after)->next = index;
  else
    list.first = index;
  list.current = index;
  ++list.count;
  return &node->value;
}

// Puts the cursor before the first record.
template <class T>
void ListReset(RecordList<T>& list) {
  list.current = kNoNode;
}

// Moves the cursor on by one; nullptr (cursor unchanged) past the last record.
template <class T>
T* ListNext(RecordList<T>& list) {
  const uint32_t next = list.current != kNoNode ? list.Node(list.current)->next : list.first;
  if (next == kNoNode) return nullptr;
  list.current = next;
  return &list.Node(next)->value;
}

// The cursor's record, or nullptr before the first record.
template <class T>
T* ListCurrent(RecordList<T>& list) {
  return list.current != kNoNode ? &list.Node(list.current)->value : nullptr;
}

// Removes the cursor's record; the cursor goes to its predecessor (before the
// first record when it was the first). Returns the cursor's record.
template <class T>
T* ListRemoveCurrent(RecordList<T>& list) {
  const uint32_t index = list.current;
  if (index == kNoNode) return nullptr;
  const RecordNode<T>* node = list.Node(index);
  if (node->prev != kNoNode)
    list.Node(node->prev)->next = node->next;
  else
    list.first = node->next;
  if (node->next != kNoNode)
    list.Node(node->next)->prev = node->prev;
  else
    list.last = node->prev;
  list.current = node->prev;
  --list.count;
  list.pool.Give(index);
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

// The merge sort over one list's nodes. The key is a member of the record
// or a function of it (std::invoke reads both).
template <class T, class Key>
struct ChainSort {
  const NodePool<T>& pool;
  Key key;
  int options;

  // True when `right` must come strictly before `left`.
  bool GoesFirst(const RecordNode<T>* right, const RecordNode<T>* left) const {
    const int order =
        CompareKeys(std::invoke(key, right->value), std::invoke(key, left->value), options);
    return (options & kSortDescending) != 0 ? order > 0 : order < 0;
  }

  // Merges two sorted chains (next links only, each ended by kNoNode): a
  // record of the right one goes first only when it must, so equal records
  // keep their order. What is left of one chain is linked on at once.
  uint32_t Merge(uint32_t left, uint32_t right) const {
    uint32_t head = kNoNode;
    uint32_t* link = &head;  // where the next record taken is linked
    while (left != kNoNode && right != kNoNode) {
      RecordNode<T>* leftNode = pool.At(left);
      RecordNode<T>* rightNode = pool.At(right);
      if (GoesFirst(rightNode, leftNode)) {
        *link = right;
        link = &rightNode->next;
        right = rightNode->next;
      } else {
        *link = left;
        link = &leftNode->next;
        left = leftNode->next;
      }
    }
    *link = left != kNoNode ? left : right;
    return head;
  }

  // Sorts the chain from `head`; answers its new head, prev links set, and
  // its last record in `last`.
  // Bottom-up over the runs already in order (a list read in about the
  // order wanted, or in its reverse with many equal keys, has few): slot i
  // holds 2^i runs merged, the older records on the left. Needs no memory.
  uint32_t Sort(uint32_t head, uint32_t& last) const {
    uint32_t slots[64];
    size_t used = 0;
    for (uint32_t rest = head; rest != kNoNode;) {
      uint32_t run = rest;
      RecordNode<T>* node = pool.At(rest);
      while (node->next != kNoNode && !GoesFirst(pool.At(node->next), node)) {
        node = pool.At(node->next);
      }
      rest = node->next;
      node->next = kNoNode;
      size_t slot = 0;
      for (; slot < used && slots[slot] != kNoNode; ++slot) {
        run = Merge(slots[slot], run);
        slots[slot] = kNoNode;
      }
      if (slot == used) ++used;
      slots[slot] = run;
    }
    uint32_t sorted = kNoNode;
    for (size_t slot = 0; slot < used; ++slot) {
      if (slots[slot] != kNoNode)
        sorted = sorted == kNoNode ? slots[slot] : Merge(slots[slot], sorted);
    }
    uint32_t previous = kNoNode;
    for (uint32_t at = sorted; at != kNoNode; at = pool.At(at)->next) {
      pool.At(at)->prev = previous;
      previous = at;
    }
    last = previous;
    return sorted;
  }

  // True when no record must come before its predecessor: the stable sort
  // would leave the order as it is.
  bool InOrder(uint32_t head) const {
    for (const RecordNode<T>* node = pool.At(head); node->next != kNoNode;) {
      const RecordNode<T>* next = pool.At(node->next);
      if (GoesFirst(next, node)) return false;
      node = next;
    }
    return true;
  }
};

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

// Stable merge sort on what `key(record)` answers (a function the
// sort calls inline); option bits kSortDescending and kSortIgnoreCase (text
// keys). The cursor stays on its record.
template <class T, class Key>
void ListSortBy(RecordList<T>* list, int options, Key key) {
  if (list == nullptr || list->count == 0) return;
  const record_list_detail::ChainSort<T, Key> sort{list->pool, key, options};
  // The passes sort the same list again and again; a list already in order
  // costs one walk instead of a full sort.
  if (sort.InOrder(list->first)) return;
  list->first = sort.Sort(list->first, list->last);
}

// The same on the field `key`. An unknown key type leaves the order unchanged.
template <class T, class K>
void ListSort(RecordList<T>* list, int options, K T::*key, int keyType) {
  if (!record_list_detail::KnownKeyType(keyType)) return;
  ListSortBy(list, options, key);
}

template <class T, class K>
void ListSortDescending(RecordList<T>* list, K T::*key, int keyType) {
  ListSort(list, kSortDescending, key, keyType);
}
