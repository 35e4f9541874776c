// A one-value store with its own lock: a worker leaves a result in it and posts a
// message, the window takes it when the message arrives. A second put before the take
// replaces the first; a take without a put gives nothing.
#pragma once

#include <mutex>
#include <optional>
#include <utility>

namespace tess {

template <typename T>
class Slot {
public:
    void put(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }
    std::optional<T> take() {
        std::lock_guard lock(mutex_);
        std::optional<T> out = std::move(value_);
        value_.reset();
        return out;
    }

private:
    std::mutex mutex_;
    std::optional<T> value_;
};

}  // namespace tess
