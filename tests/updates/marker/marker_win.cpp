// The program the update tests serve as a release download: started, it writes
// "started" and its arguments to started.txt beside itself and ends.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    std::wstring file(path, n);
    file = file.substr(0, file.find_last_of(L'\\') + 1) + L"started.txt";
    std::string text = "started";
    for (int i = 1; i < argc; ++i) {
        text += ' ';
        for (const wchar_t* p = argv[i]; *p; ++p)
            text += static_cast<char>(*p < 128 ? *p : '?');
    }
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 2;
    DWORD done = 0;
    ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    ::CloseHandle(h);
    return 0;
}
