#pragma once
// A FIFO in a circular array that grows as it fills.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "comm/uException.h"

namespace korvan {

class EQueueError : public Exception {
 public:
  using Exception::Exception;
};

template <class T>
class TQueue {
 public:
  static constexpr int MaxCapacity = 134217728;

  void Push(T item) {
    if (count_ == Capacity()) Grow();
    tail_ = (tail_ + 1) % Capacity();
    items_[tail_] = std::move(item);
    ++count_;
  }

  T Pop() {
    CheckIndex(0);
    T item = std::move(items_[head_]);
    items_[head_] = T{};
    head_ = (head_ + 1) % Capacity();
    --count_;
    return item;
  }

  T PopLast() {
    CheckIndex(count_ - 1);
    T item = std::move(items_[tail_]);
    items_[tail_] = T{};
    tail_ = (tail_ - 1 + Capacity()) % Capacity();
    --count_;
    return item;
  }

  const T& Item(int i) const {
    CheckIndex(i);
    return items_[(head_ + i) % Capacity()];
  }
  void SetItem(int i, T value) {
    CheckIndex(i);
    items_[(head_ + i) % Capacity()] = std::move(value);
  }

  int Count() const { return count_; }
  int Capacity() const { return static_cast<int>(items_.size()); }

  // Keeps the items in order; raises when the capacity is below the count or too large.
  void SetCapacity(int capacity) {
    if (capacity < count_ || capacity >= MaxCapacity)
      throw EQueueError("List capacity out of bounds (" + std::to_string(capacity) + ")");
    std::vector<T> items(static_cast<size_t>(capacity));
    for (int i = 0; i < count_; ++i) items[i] = std::move(items_[(head_ + i) % Capacity()]);
    items_ = std::move(items);
    head_ = 0;
    tail_ = count_ - 1;
  }

  void Clear() {
    items_.clear();
    items_.shrink_to_fit();
    head_ = 0;
    tail_ = -1;
    count_ = 0;
  }

 private:
  void CheckIndex(int i) const {
    if (i < 0 || i >= count_) throw EQueueError("List index out of bounds (" + std::to_string(i) + ")");
  }

  void Grow() {
    const int capacity = Capacity();
    const int delta = capacity > 64 ? capacity / 4 : capacity > 8 ? 16 : 4;
    SetCapacity(capacity + delta);
  }

  std::vector<T> items_;
  int head_ = 0;
  int tail_ = -1;
  int count_ = 0;
};

}  // namespace korvan
