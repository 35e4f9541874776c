// Times the junk and developer-folder walks against a plain FindFirstFileW walk of
// the same trees. Prints one "RESULT name files seconds" line per measurement (the
// best of --repeat runs); scripts/bench-walk.sh adds du -s and the ratios.
//   tess_bench_walk --dev DEV_ROOT --temp TEMP_FOLDER [--repeat N]
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/win.hpp"
#include "model/devclean.hpp"
#include "model/junk.hpp"

namespace {

using Clock = std::chrono::steady_clock;

struct Count {
    std::uint64_t files = 0;
    std::uint64_t folders = 0;
};

// One FindFirstFileW walk per folder: the baseline a straightforward program is
// (`basic_info` false), or the same with the cheaper find call Windows offers.
void find_walk(const std::wstring& dir, Count& count, bool basic_info) {
    WIN32_FIND_DATAW fd;
    HANDLE h = basic_info
                   ? ::FindFirstFileExW((dir + L"\\*").c_str(), FindExInfoBasic, &fd,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH)
                   : ::FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    ++count.folders;
    do {
        const wchar_t* n = fd.cFileName;
        if (n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0))) continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            find_walk(dir + L"\\" + n, count, basic_info);
        else
            ++count.files;
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
}

void plain_walk(const std::wstring& dir, Count& count) {
    find_walk(dir, count, false);
}
void find_ex_walk(const std::wstring& dir, Count& count) {
    find_walk(dir, count, true);
}

struct Runner {
    const char* name;
    std::function<std::uint64_t()> run;  // returns the files it saw
    double best = 1e30;
    std::uint64_t files = 0;
};

// Rounds of every runner in turn, so a busy moment of the machine hits them alike.
void run_rounds(std::vector<Runner>& runners, int repeat) {
    for (int round = 0; round < repeat; ++round) {
        for (auto& r : runners) {
            const auto start = Clock::now();
            r.files = r.run();
            r.best = std::min(r.best, std::chrono::duration<double>(Clock::now() - start).count());
        }
    }
    for (const auto& r : runners)
        std::printf("RESULT %s %llu %.3f\n", r.name, static_cast<unsigned long long>(r.files),
                    r.best);
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::string dev, temp;
    int repeat = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring a = argv[i];
        if (a == L"--dev") dev = tess::win::narrow(argv[i + 1]);
        if (a == L"--temp") temp = tess::win::narrow(argv[i + 1]);
        if (a == L"--repeat") repeat = std::max(1, _wtoi(argv[i + 1]));
    }
    if (dev.empty() || temp.empty()) {
        std::fprintf(stderr, "usage: tess_bench_walk --dev DEV_ROOT --temp TEMP [--repeat N]\n");
        return 2;
    }

    // Warm the caches once so every walker sees the same state.
    Count warm;
    plain_walk(tess::win::widen(dev), warm);
    plain_walk(tess::win::widen(temp), warm);

    const std::wstring wdev = tess::win::widen(dev), wtemp = tess::win::widen(temp);
    ::SetEnvironmentVariableW(L"TESS_DEV_ROOTS", wdev.c_str());
    std::size_t dev_results = 0;
    std::uint64_t dev_inside = 0;
    std::vector<Runner> dev_runners{
        {"dev_plain",
         [&] {
             Count c;
             plain_walk(wdev, c);
             return c.files;
         }},
        {"dev_findex",
         [&] {
             Count c;
             find_ex_walk(wdev, c);
             return c.files;
         }},
        {"dev_scan",
         [&] {
             const auto found = tess::scan_dev_junk();
             dev_results = found.size();
             dev_inside = 0;
             for (const auto& f : found)
                 dev_inside += f.files;
             return dev_inside;
         }},
    };
    run_rounds(dev_runners, repeat);
    std::printf("INFO scan_dev_junk found %zu folders holding %llu files\n", dev_results,
                static_cast<unsigned long long>(dev_inside));

    // A category that takes every file, so the count shows the whole folder was seen.
    const tess::JunkCategory everything{"bench", "Bench", "", 0, false, false, false};
    std::vector<Runner> temp_runners{
        {"temp_plain",
         [&] {
             Count c;
             plain_walk(wtemp, c);
             return c.files;
         }},
        {"temp_findex",
         [&] {
             Count c;
             find_ex_walk(wtemp, c);
             return c.files;
         }},
        {"temp_measure",
         [&] {
             return tess::measure_junk_folders(everything, {temp}, tess::win::filetime_now(),
                                               tess::system_file_ops())
                 .files;
         }},
    };
    run_rounds(temp_runners, repeat);
    return 0;
}
