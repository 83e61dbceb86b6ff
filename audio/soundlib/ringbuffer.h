#pragma once
// A fixed-capacity FIFO of plain values (bytes of a download, float samples of a playback
// buffer). Not synchronised: its owner guards it with its own lock. Storage is allocated
// once, at construction or Resize, never while reading or writing.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace soundlib {

template <typename T>
class RingBuffer {
public:
    explicit RingBuffer(std::size_t capacity = 0) : data_(capacity) {}

    std::size_t Capacity() const { return data_.size(); }
    std::size_t Size() const { return size_; }
    std::size_t Free() const { return data_.size() - size_; }
    bool Empty() const { return size_ == 0; }

    void Clear() {
        head_ = 0;
        size_ = 0;
    }

    // Appends as much of `count` values as fits; returns how many were taken.
    std::size_t Write(const T* values, std::size_t count) {
        count = std::min(count, Free());
        if (count == 0) return 0;
        std::size_t tail = (head_ + size_) % Capacity();
        std::size_t first = std::min(count, Capacity() - tail);
        std::memcpy(&data_[tail], values, first * sizeof(T));
        std::memcpy(&data_[0], values + first, (count - first) * sizeof(T));
        size_ += count;
        return count;
    }

    // Copies up to `count` values from the front without removing them.
    std::size_t Peek(T* out, std::size_t count) const {
        count = std::min(count, size_);
        if (count == 0) return 0;
        std::size_t first = std::min(count, Capacity() - head_);
        std::memcpy(out, &data_[head_], first * sizeof(T));
        std::memcpy(out + first, &data_[0], (count - first) * sizeof(T));
        return count;
    }

    std::size_t Read(T* out, std::size_t count) {
        count = Peek(out, count);
        Drop(count);
        return count;
    }

    void Drop(std::size_t count) {
        count = std::min(count, size_);
        if (Capacity() > 0) head_ = (head_ + count) % Capacity();
        size_ -= count;
    }

    // The front run of values that lie one after the other in storage (up to `limit`).
    const T* FrontRun(std::size_t limit, std::size_t& count) const {
        count = std::min({limit, size_, Capacity() - head_});
        return data_.data() + head_;
    }

    // Value `index` places behind the front (index < Size()).
    const T& At(std::size_t index) const { return data_[(head_ + index) % Capacity()]; }

    // New capacity, keeping the oldest values that fit.
    void Resize(std::size_t capacity) {
        std::vector<T> next(capacity);
        std::size_t keep = std::min(size_, capacity);
        Peek(next.data(), keep);
        data_.swap(next);
        head_ = 0;
        size_ = keep;
    }

private:
    std::vector<T> data_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

}  // namespace soundlib
