// One loop for the Windows calls that answer "buffer too small, you need N bytes":
// the process snapshot, the TCP tables and the service list each pass their own
// growth rule and call limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

namespace tess {

enum class AttemptStatus : std::uint8_t { Done = 0, TooSmall = 1, Failed = 2 };

struct Attempt {
    AttemptStatus status = AttemptStatus::Failed;
    // Done: bytes the call filled in. TooSmall: the size the call asked for.
    std::uint64_t size = 0;
};

// The buffer size after a "too small" answer; `calls_made` counts the calls so far (1 after
// the first), `current` is the size just tried and `need` what the call reported.
using NextSizeRule = std::uint64_t (*)(int calls_made, std::uint64_t current, std::uint64_t need);

// No real answer comes near this; a larger "need" is garbage and fails the call rather
// than exhausting memory.
inline constexpr std::uint64_t kMaxRetryBuffer = 1ull << 30;

struct GrowRule {
    std::uint64_t first_size = 0;
    int max_calls = 1;
    NextSizeRule next_size = nullptr;
};

// Calls `query(buffer)` with a buffer of `rule.first_size` bytes (its data is aligned for
// any fundamental type) and, while it answers TooSmall, again with the next size, at most
// `rule.max_calls` calls in all. Returns the buffer cut to the bytes the successful call
// filled in, or nothing when a call failed, the calls ran out, or a size passed
// kMaxRetryBuffer.
template <class Query>
std::optional<std::vector<unsigned char>> grow_and_retry(const GrowRule& rule, Query&& query) {
    std::uint64_t size = rule.first_size;
    for (int calls = 1; calls <= rule.max_calls; ++calls) {
        if (size > kMaxRetryBuffer) return std::nullopt;
        std::vector<unsigned char> buffer;
        try {
            buffer.resize(static_cast<std::size_t>(size));
        } catch (const std::bad_alloc&) {
            return std::nullopt;  // an absurd reported need is a failed call, not a crash
        } catch (const std::length_error&) {
            return std::nullopt;
        }
        const Attempt a = query(buffer);
        if (a.status == AttemptStatus::Done) {
            if (a.size < buffer.size()) buffer.resize(static_cast<std::size_t>(a.size));
            return buffer;
        }
        if (a.status != AttemptStatus::TooSmall || !rule.next_size) return std::nullopt;
        size = rule.next_size(calls, size, a.size);
    }
    return std::nullopt;
}

}  // namespace tess
