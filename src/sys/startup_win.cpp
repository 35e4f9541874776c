#include "sys/startup_win.hpp"

#include <algorithm>

#include "core/win.hpp"

namespace tess {

namespace {

constexpr DWORD kNameUnits = 16'384;
constexpr DWORD kDataBytes = 65'536;
// Per-value failures are skipped; a failure that repeats for every index (the key was
// deleted or its handle went bad) would never reach the end, so a long run of them does.
constexpr int kMaxFailuresInARow = 64;

HKEY root_of(const StartupKeys& keys) {
    return keys.machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

LONG open_key(HKEY root, std::string_view path, REGSAM rights, win::unique_hkey& key) {
    return ::RegOpenKeyExW(root, win::widen(path).c_str(), 0, rights | KEY_WOW64_64KEY, key.put());
}

}  // namespace

std::vector<std::pair<std::string, std::string>> read_run_values(HKEY key) {
    std::vector<std::pair<std::string, std::string>> out;
    std::vector<wchar_t> name(kNameUnits);
    std::vector<unsigned char> data(kDataBytes);
    int failures = 0;
    for (DWORD index = 0;; ++index) {
        DWORD name_units = kNameUnits;
        DWORD type = 0;
        DWORD bytes = kDataBytes;
        const LONG r = ::RegEnumValueW(key, index, name.data(), &name_units, nullptr, &type,
                                       data.data(), &bytes);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) {
            // ERROR_MORE_DATA: too large for the buffers, skipped.
            if (r != ERROR_MORE_DATA && ++failures >= kMaxFailuresInARow) break;
            continue;
        }
        failures = 0;
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
        out.emplace_back(win::narrow(name.data(), std::min(name_units, kNameUnits)),
                         registry_text(std::span<const unsigned char>(
                             data.data(), std::min(bytes, kDataBytes))));
    }
    return out;
}

ApprovedValue read_startup_approved(StartupLocation location, std::string_view value_name) {
    const StartupKeys keys = startup_keys(location);
    win::unique_hkey key;
    LONG r = open_key(root_of(keys), keys.approved, KEY_READ, key);
    if (r == ERROR_FILE_NOT_FOUND) return {ApprovedState::Absent};
    if (r != ERROR_SUCCESS) return {ApprovedState::Error, {}, static_cast<std::uint32_t>(r)};
    const std::wstring wname = win::widen(value_name);
    DWORD size = 0;
    r = ::RegQueryValueExW(key.get(), wname.c_str(), nullptr, nullptr, nullptr, &size);
    if (r == ERROR_FILE_NOT_FOUND) return {ApprovedState::Absent};
    if (r != ERROR_SUCCESS) return {ApprovedState::Error, {}, static_cast<std::uint32_t>(r)};
    ApprovedValue v{ApprovedState::Present, std::vector<unsigned char>(size)};
    DWORD got = size;
    r = ::RegQueryValueExW(key.get(), wname.c_str(), nullptr, nullptr,
                           v.bytes.empty() ? nullptr : v.bytes.data(), &got);
    if (r != ERROR_SUCCESS) return {ApprovedState::Error, {}, static_cast<std::uint32_t>(r)};
    v.bytes.resize(std::min(got, size));
    return v;
}

std::uint32_t write_startup_approved(StartupLocation location, std::string_view value_name,
                                     std::span<const unsigned char> bytes) {
    if (bytes.size() > MAXDWORD) return ERROR_INVALID_PARAMETER;
    const StartupKeys keys = startup_keys(location);
    win::unique_hkey key;
    LONG r = ::RegCreateKeyExW(root_of(keys), win::widen(keys.approved).c_str(), 0, nullptr, 0,
                               KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE | KEY_WOW64_64KEY,
                               nullptr, key.put(), nullptr);
    if (r != ERROR_SUCCESS) return static_cast<std::uint32_t>(r);
    r = ::RegSetValueExW(key.get(), win::widen(value_name).c_str(), 0, REG_BINARY, bytes.data(),
                         static_cast<DWORD>(bytes.size()));
    return static_cast<std::uint32_t>(r);
}

std::uint32_t delete_startup_approved(StartupLocation location, std::string_view value_name) {
    const StartupKeys keys = startup_keys(location);
    win::unique_hkey key;
    LONG r = open_key(root_of(keys), keys.approved, KEY_WRITE, key);
    if (r == ERROR_FILE_NOT_FOUND) return 0;
    if (r != ERROR_SUCCESS) return static_cast<std::uint32_t>(r);
    r = ::RegDeleteValueW(key.get(), win::widen(value_name).c_str());
    return r == ERROR_FILE_NOT_FOUND ? 0 : static_cast<std::uint32_t>(r);
}

std::vector<StartupEntry> list_startup_entries() {
    std::vector<StartupEntry> out;
    for (StartupLocation location : kStartupLocations) {
        const StartupKeys keys = startup_keys(location);
        win::unique_hkey key;
        if (open_key(root_of(keys), keys.run, KEY_READ, key) != ERROR_SUCCESS) continue;
        auto values = read_run_values(key.get());
        key.reset();
        for (auto& [name, command] : values) {
            const ApprovedValue a = read_startup_approved(location, name);
            const bool enabled =
                a.state != ApprovedState::Present || startup_approved_enabled(a.bytes);
            out.push_back({std::move(name), std::move(command), location, enabled});
        }
    }
    return out;
}

std::uint32_t set_run_value(bool on, std::string_view executable) {
    const StartupKeys keys = startup_keys(StartupLocation::HkcuRun);
    win::unique_hkey key;
    LONG r = ::RegCreateKeyExW(HKEY_CURRENT_USER, win::widen(keys.run).c_str(), 0, nullptr, 0,
                               KEY_READ | KEY_WOW64_64KEY | KEY_CREATE_SUB_KEY | KEY_SET_VALUE,
                               nullptr, key.put(), nullptr);
    if (r != ERROR_SUCCESS) return static_cast<std::uint32_t>(r);
    const std::wstring name = win::widen(kOwnRunValue);
    if (on) {
        const std::wstring data = win::widen(own_run_command(executable));
        r = ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        return static_cast<std::uint32_t>(r);
    }
    r = ::RegDeleteValueW(key.get(), name.c_str());
    return r == ERROR_FILE_NOT_FOUND ? 0 : static_cast<std::uint32_t>(r);
}

bool run_value_present() {
    const StartupKeys keys = startup_keys(StartupLocation::HkcuRun);
    win::unique_hkey key;
    if (open_key(HKEY_CURRENT_USER, keys.run, KEY_READ, key) != ERROR_SUCCESS) return false;
    for (const auto& [name, command] : read_run_values(key.get()))
        if (name == kOwnRunValue) return true;
    return false;
}

}  // namespace tess
