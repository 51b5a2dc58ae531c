// A queue between two threads that holds at most `capacity` items: push waits
// while it is full, pop waits while it is empty. Closing it wakes both sides;
// after that push refuses and pop drains what is left.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace cli {

template <class T>
class BoundedQueue {
public:
    explicit BoundedQueue(size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

    // False when the queue is closed (the item is dropped).
    bool push(T item) {
        std::unique_lock lock(mutex_);
        notFull_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
        if (closed_)
            return false;
        items_.push_back(std::move(item));
        notEmpty_.notify_one();
        return true;
    }

    // False when the queue is full or closed (the item is dropped), without
    // waiting.
    bool tryPush(T item) {
        std::lock_guard lock(mutex_);
        if (closed_ || items_.size() >= capacity_)
            return false;
        items_.push_back(std::move(item));
        notEmpty_.notify_one();
        return true;
    }

    // Nothing when the queue is closed and empty.
    std::optional<T> pop() {
        std::unique_lock lock(mutex_);
        notEmpty_.wait(lock, [&] { return closed_ || !items_.empty(); });
        return take();
    }

    // Nothing when the queue is empty, without waiting.
    std::optional<T> tryPop() {
        std::lock_guard lock(mutex_);
        return take();
    }

    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        notFull_.notify_all();
        notEmpty_.notify_all();
    }

private:
    std::optional<T> take() {
        if (items_.empty())
            return std::nullopt;
        std::optional<T> item(std::move(items_.front()));
        items_.pop_front();
        notFull_.notify_one();
        return item;
    }

    const size_t capacity_;
    std::mutex mutex_;
    std::condition_variable notFull_, notEmpty_;
    std::deque<T> items_;
    bool closed_ = false;
};

} // namespace cli
