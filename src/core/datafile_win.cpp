#include "core/datafile_win.hpp"

#include "core/win.hpp"

namespace tess {

std::optional<std::string> read_data_file(const std::string& path, std::uint64_t max_bytes) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!::GetFileAttributesExW(win::widen(path).c_str(), GetFileExInfoStandard, &info))
        return std::nullopt;
    const std::uint64_t size =
        (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > max_bytes) return std::nullopt;
    auto bytes = win::read_file(path);
    // Grown meanwhile past the limit: treat it as the file too large it now is.
    if (bytes && bytes->size() > max_bytes) return std::nullopt;
    return bytes;
}

bool path_exists(const std::string& path) {
    return ::GetFileAttributesW(win::widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace tess
