// Faults over a call table, by call: the call a field names fails on its nth
// use from the fault on, and on the `count` - 1 uses after that, answering
// `failure` with the error set as the system sets it; every other use goes to
// the call the table held. The table gets that call back when the fault ends.
#pragma once

#include <cerrno>
#include <climits>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fault {

constexpr int kEveryUse = INT_MAX;

#ifdef _WIN32
inline void SetError(int error) {
  SetLastError(static_cast<DWORD>(error));
}
#else
inline void SetError(int error) {
  errno = error;
}
#endif

template <auto Field, typename Member = decltype(Field)>
class Scoped;

template <auto Field, typename Table, typename Result, typename... Args>
class Scoped<Field, Result (*Table::*)(Args...)> {
 public:
  Scoped(Table& table, int nth, Result failure, int error, int count = 1)
      : table_(table), saved_(table.*Field) {
    original_ = saved_;
    uses_ = 0;
    first_ = nth;
    last_ = count > INT_MAX - nth ? INT_MAX : nth + count - 1;
    failure_ = failure;
    error_ = error;
    table.*Field = &Call;
  }
  ~Scoped() { table_.*Field = saved_; }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

  // Uses of the call since the fault began, the failed ones included.
  static int Uses() { return uses_; }

 private:
  static Result Call(Args... args) {
    ++uses_;
    if (uses_ < first_ || uses_ > last_) return original_(args...);
    SetError(error_);
    return failure_;
  }

  static inline Result (*original_)(Args...) = nullptr;
  static inline int uses_ = 0, first_ = 0, last_ = 0, error_ = 0;
  static inline Result failure_{};
  Table& table_;
  Result (*saved_)(Args...);
};

}  // namespace fault
