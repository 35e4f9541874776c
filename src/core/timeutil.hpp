// FILETIME (100-ns ticks since 1601-01-01 UTC) and Unix seconds.
#pragma once

#include <chrono>
#include <cstdint>

namespace tess {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kUnixEpochAsFiletime = 116'444'736'000'000'000ull;

// Times before 1970 read as 0.
constexpr std::uint64_t filetime_to_unix(std::uint64_t filetime) {
    return filetime < kUnixEpochAsFiletime ? 0
                                           : (filetime - kUnixEpochAsFiletime) / kTicksPerSecond;
}

constexpr std::uint64_t unix_to_filetime(std::uint64_t unix_seconds) {
    return unix_seconds * kTicksPerSecond + kUnixEpochAsFiletime;
}

// The system clock in Unix seconds; before 1970 reads as 0.
inline std::uint64_t unix_now() {
    const auto since = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return since.count() < 0 ? 0 : static_cast<std::uint64_t>(since.count());
}

}  // namespace tess
