#include <windows.h>

#include <cstring>
#include <mutex>
#include <set>

#include "core/log.hpp"
#include "core/policy.hpp"
#include "core/win.hpp"

namespace tess {

namespace {

std::vector<std::string> split_multi(const wchar_t* data, std::size_t chars) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= chars; ++i) {
        if (i < chars && data[i] != L'\0') continue;
        if (i > start) out.push_back(win::narrow(data + start, i - start));
        start = i + 1;
    }
    return out;
}

// Every value of the key, whatever its type; none when the key is absent.
std::vector<PolicyValue> read_values(HKEY root, const std::string& key_path) {
    std::vector<PolicyValue> out;
    win::unique_hkey key;
    if (::RegOpenKeyExW(root, win::widen(key_path).c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                        key.put()) != ERROR_SUCCESS)
        return out;
    std::vector<wchar_t> name(16'384);
    std::vector<unsigned char> data(65'536);
    for (DWORD index = 0;; ++index) {
        DWORD name_len = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        const LONG r = ::RegEnumValueW(key.get(), index, name.data(), &name_len, nullptr, &type,
                                       data.data(), &size);
        if (r == ERROR_NO_MORE_ITEMS) break;
        PolicyValue v;
        v.name = win::narrow(name.data(), name_len);
        if (r != ERROR_SUCCESS) {  // too long for any policy: a value of no known type
            out.push_back(std::move(v));
            continue;
        }
        const auto* text = reinterpret_cast<const wchar_t*>(data.data());
        std::size_t chars = size / sizeof(wchar_t);
        while (chars > 0 && text[chars - 1] == L'\0')
            --chars;
        if (type == REG_DWORD && size == 4) {
            v.type = PolicyValue::Type::Dword;
            std::memcpy(&v.dword, data.data(), 4);
        } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
            v.type = PolicyValue::Type::Text;
            v.texts.push_back(win::narrow(text, chars));
        } else if (type == REG_MULTI_SZ) {
            v.type = PolicyValue::Type::MultiText;
            v.texts = split_multi(text, chars);
        }
        out.push_back(std::move(v));
    }
    return out;
}

}  // namespace

Policy load_policy() {
    std::vector<std::string> lines;
    const std::string key(kPolicyKey);
    const Policy p = decide_policy(read_values(HKEY_LOCAL_MACHINE, key),
                                   read_values(HKEY_CURRENT_USER, key), lines);
    // A background role reads the policies at every check: each complaint once a process.
    static std::mutex mutex;
    static std::set<std::string> logged;
    std::lock_guard lock(mutex);
    for (const std::string& line : lines)
        if (logged.insert(line).second) log_line(line);
    return p;
}

Settings load_settings_in_force() {
    return settings_in_force(load_settings(), load_policy());
}

}  // namespace tess
