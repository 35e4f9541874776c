// A per-user Run value made for one test, removed with its StartupApproved value, so the
// startup probes, the executor and the window all see a real entry.
#pragma once

#include <windows.h>

#include <string>

#include "core/win.hpp"
#include "sys/startup.hpp"

namespace tess::test {

class RunValue {
public:
    // `name` gets this process's id appended, so tests running side by side never share one.
    RunValue(const std::string& name, const std::wstring& command)
        : name(name + " " + std::to_string(::GetCurrentProcessId())) {
        win::unique_hkey key;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          key.put(), nullptr);
        ::RegSetValueExW(key.get(), win::widen(this->name).c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(command.c_str()),
                         static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        delete_startup_approved(StartupLocation::HkcuRun, this->name);
    }
    ~RunValue() {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, win::widen(name).c_str());
        delete_startup_approved(StartupLocation::HkcuRun, name);
    }
    RunValue(const RunValue&) = delete;
    RunValue& operator=(const RunValue&) = delete;

    ApprovedValue approved() const { return read_startup_approved(StartupLocation::HkcuRun, name); }

    const std::string name;

private:
    static constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
};

}  // namespace tess::test
