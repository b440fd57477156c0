#pragma once

#include <atomic>
#include <cstdint>

namespace velmora {

// A signed 32-bit counter shared between threads. Every change is atomic;
// the operations named after a result give the value after the change, all
// others the value before it.
class AtomicCounter {
public:
    std::int32_t increment() { return value_.fetch_add(1); }
    std::int32_t decrement() { return value_.fetch_sub(1); }
    std::int32_t add(std::int32_t n) { return value_.fetch_add(n); }
    std::int32_t subtract(std::int32_t n) { return value_.fetch_sub(n); }
    std::int32_t value() const { return value_.load(); }
    std::int32_t incrementAndGet() { return value_.fetch_add(1) + 1; }
    std::int32_t decrementAndGet() { return value_.fetch_sub(1) - 1; }
    std::int32_t exchange(std::int32_t v) { return value_.exchange(v); }
    std::int32_t exchangeAdd(std::int32_t n) { return value_.fetch_add(n); }

    // Stores `v` when the value equals `comparand`.
    std::int32_t compareExchange(std::int32_t v, std::int32_t comparand)
    {
        value_.compare_exchange_strong(comparand, v);
        return comparand;
    }

private:
    std::atomic<std::int32_t> value_{0};
};

}  // namespace velmora
