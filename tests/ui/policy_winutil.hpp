// Group Policy values for a test, in the real Software\Policies\Tessavo of HKLM and HKCU:
// each test runs in a Wine lane of its own, so they govern only the programs it starts.
// Both keys are removed before (what a failed test may have left) and after.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/win.hpp"

namespace tess::test {

class PolicyKeys {
public:
    PolicyKeys() { clear(); }
    ~PolicyKeys() { clear(); }
    PolicyKeys(const PolicyKeys&) = delete;
    PolicyKeys& operator=(const PolicyKeys&) = delete;

    const std::string& path() const { return path_; }
    bool set_dword(HKEY root, const std::string& name, DWORD v) const {
        return set(root, name, REG_DWORD, &v, sizeof v);
    }
    bool set_text(HKEY root, const std::string& name, const std::string& v) const {
        const std::wstring w = win::widen(v);
        return set(root, name, REG_SZ, w.c_str(), (w.size() + 1) * sizeof(wchar_t));
    }
    bool set_multi(HKEY root, const std::string& name, const std::vector<std::string>& v) const {
        std::wstring w;
        for (const auto& s : v)
            w += win::widen(s) + L'\0';
        w += L'\0';
        return set(root, name, REG_MULTI_SZ, w.c_str(), w.size() * sizeof(wchar_t));
    }
    // Both scopes' keys gone: no policy at all.
    void clear() const {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            ::RegDeleteTreeW(root, win::widen(path_).c_str());
    }

private:
    bool set(HKEY root, const std::string& name, DWORD type, const void* data,
             std::size_t size) const {
        win::unique_hkey key;
        if (::RegCreateKeyExW(root, win::widen(path_).c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(),
                              nullptr) != ERROR_SUCCESS)
            return false;
        return ::RegSetValueExW(key.get(), win::widen(name).c_str(), 0, type,
                                static_cast<const BYTE*>(data),
                                static_cast<DWORD>(size)) == ERROR_SUCCESS;
    }
    std::string path_ = "Software\\Policies\\Tessavo";
};

}  // namespace tess::test
