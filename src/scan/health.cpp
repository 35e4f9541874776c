#include "scan/health.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/text.hpp"

namespace tess {

namespace {

constexpr std::uint64_t kMiB = 1024ull * 1024;
constexpr std::uint64_t kGiB = 1024 * kMiB;
constexpr std::uint64_t kRestartAfterMs = 259'200'000;  // three days
constexpr std::uint32_t kLeakingHandles = 20'000;
constexpr std::uint32_t kSystemPid = 4;
constexpr std::int64_t kFastGrowth = 157'286'400;  // 150 MiB in two seconds
constexpr std::uint64_t kTerminalProcesses = 7;
constexpr std::uint64_t kTerminalBytes = 300 * kMiB;
constexpr std::uint64_t kBrowserBytes = 0x5FFFFFFF;  // more than this: 1.5 GiB or over
constexpr std::uint64_t kSmallRam = 17 * kGiB;
constexpr std::uint64_t kUpgradeMb = 16384;

constexpr std::string_view kTerminals[] = {"cmd",    "pwsh",    "bash",
                                           "python", "pythonw", "powershell"};
constexpr std::string_view kBrowsers[] = {"chrome", "msedge", "brave", "firefox", "opera"};

bool one_of(std::string_view name, std::span<const std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// "chrome.exe" -> "chrome"; only lower-case ".exe" endings go.
std::string short_name(std::string_view name) {
    while (ends_with(name, ".exe"))
        name.remove_suffix(4);
    return std::string(name);
}

std::string trim_spaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return std::string(s);
}

std::uint64_t whole_gb_of_bytes(std::uint64_t bytes) {
    return (bytes + kGiB / 2) / kGiB;
}

std::string gb_of_mb(std::uint64_t mb) {
    return std::to_string(mb / 1024 + (mb % 1024 >= 512 ? 1 : 0)) + " GB";
}

std::string ram_text(std::uint64_t gb, const std::optional<RamInfo>& ram) {
    // A table without memory devices (virtual machines, some firmware) says nothing about
    // the sticks, so it reads as no table at all.
    if (!ram || ram->modules.empty())
        return "Programs regularly ask for more than your " + std::to_string(gb) +
               " GB. Adding RAM is the fix that helps most.";

    std::uint64_t installed = 0, built = 0;
    std::vector<const MemoryModule*> slots;
    for (const MemoryModule& m : ram->modules) {
        installed += m.size_mb;
        if (m.built_in) {
            built += m.size_mb;
        } else {
            slots.push_back(&m);
        }
    }
    std::string makeup;
    if (built == installed) {
        makeup = "all built into the board";
    } else if (built == 0) {
        makeup = std::to_string(slots.size()) + " stick(s)";
    } else {
        makeup = gb_of_mb(built) + " built in";
        for (const MemoryModule* m : slots)
            makeup += " + " + gb_of_mb(m->size_mb);
        makeup += " in a slot";
    }
    const MemoryModule& first = ram->modules.front();
    std::string label = first.type_label;
    if (first.speed_mts != 0) label += " " + std::to_string(first.speed_mts);
    label = trim_spaces(label);
    const std::string stick = "a 16 GB " + (label.empty() ? "" : label + " ") + "stick";

    std::string text = "You have " + gb_of_mb(installed) + " (" + makeup + ").";
    if (ram->empty_slots > 0) {
        text += " There " + std::string(ram->empty_slots == 1 ? "is" : "are") + " " +
                std::to_string(ram->empty_slots) + " empty slot(s): adding " + stick +
                " is the biggest speed-up you can get.";
    } else if (!slots.empty()) {
        const MemoryModule* smallest = slots.front();
        for (const MemoryModule* m : slots)
            if (m->size_mb < smallest->size_mb) smallest = m;
        text += " Swapping the " + gb_of_mb(smallest->size_mb) + " stick for " + stick +
                " would give you " + gb_of_mb(installed - smallest->size_mb + kUpgradeMb) + ".";
    } else {
        text += " The RAM is soldered, so it can't be upgraded: closing apps is the only fix.";
    }
    return text;
}

int base_score(std::uint64_t committed, std::uint64_t total_physical) {
    const double r = total_physical == 0
                         ? 0.0
                         : static_cast<double>(committed) / static_cast<double>(total_physical);
    if (r < 1.0) return 100;
    if (r < 1.5) return 85;
    return 70;
}

int health_term(std::span<const HealthItem> items, bool skip_restart) {
    int sum = 0;
    for (const HealthItem& item : items) {
        if (skip_restart && starts_with(item.title, "Restart")) continue;
        if (item.severity == Severity::Warning) sum += 5;
        if (item.severity == Severity::Problem) sum += 8;
        if (sum >= 20) return 20;
    }
    return sum;
}

std::uint8_t clamp_score(int score) {
    return static_cast<std::uint8_t>(std::clamp(score, 5, 100));
}

}  // namespace

std::string_view severity_text(Severity severity) {
    switch (severity) {
        case Severity::Warning:
            return "Warning";
        case Severity::Problem:
            return "Problem";
        case Severity::Tip:
            break;
    }
    return "Tip";
}

std::vector<HealthItem> run_health_checks(const HealthInput& in) {
    std::vector<HealthItem> items;

    if (in.uptime_ms >= kRestartAfterMs)
        items.push_back({"Restart your PC",
                         "It has been running for " + format_duration(in.uptime_ms / 1000) +
                             " without a restart. Restarting clears leftover programs and memory "
                             "leaks.",
                         Severity::Warning});

    const DiskSpace& d = in.disk;
    if (d.ok && d.total > 0 &&
        (d.free < 10 * kGiB || d.free < d.total / 10 + (d.total % 10 != 0 ? 1 : 0)))
        items.push_back({"Low disk space on C:",
                         "Only " + size_text(d.free) + " of " + size_text(d.total) +
                             " is free. Windows uses free space on C: as extra memory, so a full "
                             "drive makes everything slower.",
                         d.free < 5 * kGiB ? Severity::Problem : Severity::Warning});

    const MemoryStatus& m = in.memory;
    if (m.total_physical > 0) {
        const std::uint64_t page_file =
            m.commit_limit > m.total_physical ? m.commit_limit - m.total_physical : 0;
        if (page_file < 512 * kMiB)
            items.push_back({"Virtual memory is turned off or tiny",
                             "Windows has almost no page file, so apps can crash when memory runs "
                             "out. Set it back to “System managed” in Advanced system "
                             "settings.",
                             Severity::Problem});
    }

    for (const ProcessInfo& p : in.processes)
        if (p.pid > kSystemPid && p.handles > kLeakingHandles)
            items.push_back({short_name(p.name) + " may be leaking",
                             "It holds " + std::to_string(p.handles) +
                                 " open handles (normal is a few thousand). Closing and reopening "
                                 "it usually frees the memory.",
                             Severity::Warning});

    for (const ProcessInfo& p : in.processes)
        if (p.private_growth > kFastGrowth)
            items.push_back({short_name(p.name) + " is growing fast",
                             "It took " + size_text(static_cast<std::uint64_t>(p.private_growth)) +
                                 " more memory during the scan. If it isn't loading something "
                                 "big, it may be leaking.",
                             Severity::Tip});

    std::uint64_t browser = 0;
    for (const AppGroup& g : in.apps) {
        const std::string name = to_lower_ascii(g.display_name);
        if (one_of(name, kTerminals) && g.process_count > kTerminalProcesses &&
            g.private_bytes >= kTerminalBytes)
            items.push_back(
                {std::to_string(g.process_count) + " " + g.display_name + " windows are open",
                 "Together they use " + size_text(g.private_bytes) +
                     ". Close the terminals and scripts you no longer need.",
                 Severity::Tip});
        if (one_of(name, kBrowsers)) browser += g.private_bytes;
    }
    if (browser > kBrowserBytes)
        items.push_back({"Your browser uses " + size_text(browser),
                         "Turn on Memory Saver (Settings → Performance) so tabs you aren't "
                         "using go to sleep.",
                         Severity::Tip});

    // Without the memory figures there is nothing to say about RAM.
    if (m.total_physical > 0 && m.total_physical <= kSmallRam &&
        static_cast<double>(m.commit_charge) >= 1.3 * static_cast<double>(m.total_physical)) {
        const std::uint64_t gb = whole_gb_of_bytes(m.total_physical);
        items.push_back({std::to_string(gb) + " GB of RAM is your bottleneck", ram_text(gb, in.ram),
                         Severity::Tip});
    }
    return items;
}

HealthScore health_score(const HealthInput& in, std::span<const Suggestion> suggestions,
                         std::span<const JunkRow> junk, std::span<const HealthItem> items) {
    std::uint64_t ticked = 0;
    int startup = 0;
    for (const Suggestion& s : suggestions) {
        if (s.ticked) ticked += s.bytes;
        if (s.section == SuggestionSection::Service || s.section == SuggestionSection::StartupApp)
            startup += 3;
    }
    std::uint64_t junk_bytes = 0;
    for (const JunkRow& row : junk)
        if (row.ticked) junk_bytes += row.bytes;

    const int memory_term = ticked >= kGiB ? -15 : ticked >= 300 * kMiB ? -8 : ticked > 0 ? -4 : 0;
    const int junk_term = junk_bytes >= 5 * kGiB     ? -15
                          : junk_bytes >= kGiB       ? -10
                          : junk_bytes >= 200 * kMiB ? -5
                                                     : 0;
    const std::uint64_t total = in.memory.total_physical;
    const std::uint64_t committed = in.memory.commit_charge;
    const int score = base_score(committed, total) + memory_term + junk_term -
                      std::min(startup, 12) - health_term(items, false);

    const std::uint64_t committed_after = committed > ticked ? committed - ticked : 0;
    const int after = base_score(committed_after, total) - health_term(items, true);

    HealthScore out;
    out.score = clamp_score(score);
    out.after_optimise = std::max(out.score, clamp_score(after));
    return out;
}

}  // namespace tess
