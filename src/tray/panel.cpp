#include "tray/panel.hpp"

#include <algorithm>
#include <cstdio>
#include <variant>

#include "core/text.hpp"

namespace tess {

std::string_view panel_button_text(PanelMode mode) {
    switch (mode) {
        case PanelMode::Checking:
            return "Checking\xE2\x80\xA6";
        case PanelMode::Proposal:
            return "Optimise now";
        case PanelMode::NothingToFix:
            return "All good";
        case PanelMode::Applying:
            return "Optimising\xE2\x80\xA6";
        case PanelMode::Done:
            break;
    }
    return "Close";
}

bool panel_button_enabled(PanelMode mode) {
    return mode != PanelMode::Checking && mode != PanelMode::Applying;
}

std::string_view panel_busy_text(PanelMode mode) {
    return mode == PanelMode::Applying ? "Optimising\xE2\x80\xA6"
                                       : "Checking what can be fixed\xE2\x80\xA6";
}

std::string_view panel_step_text(PanelMode mode, int step) {
    static constexpr std::string_view kCheck[] = {"Memory and running programs", "Junk files",
                                                  "Startup apps and services", "Health checks"};
    static constexpr std::string_view kApply[] = {"Closing idle programs", "Cleaning junk files",
                                                  "Startup apps and services",
                                                  "Measuring the result"};
    const int s = std::clamp(step, 0, 3);
    return mode == PanelMode::Applying ? kApply[s] : kCheck[s];
}

bool panel_can_close(PanelMode mode) {
    return mode != PanelMode::Applying;
}

MainButtonAction main_button_action(PanelMode mode, std::size_t action_count) {
    switch (mode) {
        case PanelMode::Proposal:
            return action_count > 0 ? MainButtonAction::Apply : MainButtonAction::None;
        case PanelMode::NothingToFix:
        case PanelMode::Done:
            return MainButtonAction::Close;
        case PanelMode::Checking:
        case PanelMode::Applying:
            break;
    }
    return MainButtonAction::None;
}

PanelMode mode_after_check(std::size_t action_count) {
    return action_count == 0 ? PanelMode::NothingToFix : PanelMode::Proposal;
}

std::vector<TopApp> top_apps(const std::vector<AppGroup>& groups) {
    std::vector<TopApp> out;
    for (std::size_t i = 0; i < groups.size() && i < 3; ++i)
        out.push_back({groups[i].display_name, groups[i].private_bytes});
    return out;
}

QuickProposal quick_proposal(const std::vector<Suggestion>& suggestions,
                             const std::vector<JunkRow>& junk) {
    QuickProposal p;
    std::size_t kills = 0, startup = 0, services = 0, junk_actions = 0;
    for (const Suggestion& s : suggestions) {
        if (!s.ticked) continue;
        p.actions.push_back(s.action);
        if (std::holds_alternative<KillProcesses>(s.action)) {
            ++kills;
            p.ram_bytes += s.bytes;
        }
    }
    for (const JunkRow& row : junk) {
        if (!row.ticked) continue;
        // A category Windows keeps from us without admin is still worth a try through the
        // admin helper, even when nothing could be measured.
        if (row.bytes == 0 && !(row.needs_admin && !row.complete)) continue;
        p.actions.push_back(CleanJunk{row.id, row.title});
        p.disk_bytes += row.bytes;
    }
    for (const Action& a : p.actions) {
        if (std::holds_alternative<SetStartupEnabled>(a)) ++startup;
        if (std::holds_alternative<SetServiceStart>(a)) ++services;
        if (std::holds_alternative<CleanJunk>(a) || std::holds_alternative<DeleteDevFolder>(a))
            ++junk_actions;
    }
    if (kills > 0)
        p.lines.push_back(
            "Close " + std::to_string(kills) + " idle program(s)" +
            (p.ram_bytes > 0 ? " \xE2\x80\x94 frees " + size_text(p.ram_bytes) : std::string()));
    if (junk_actions > 0)
        p.lines.push_back(p.disk_bytes > 0 ? "Delete " + size_text(p.disk_bytes) + " of junk files"
                                           : "Clean Windows junk files");
    if (startup > 0)
        p.lines.push_back("Stop " + std::to_string(startup) + " app(s) opening at sign-in");
    if (services > 0)
        p.lines.push_back("Start " + std::to_string(services) +
                          " background service(s) only when needed");
    return p;
}

std::string proposal_subtitle(std::uint64_t ram_bytes, std::uint64_t disk_bytes) {
    if (ram_bytes > 0 && disk_bytes > 0)
        return "frees " + size_text(ram_bytes) + " RAM \xC2\xB7 " + size_text(disk_bytes) + " disk";
    if (ram_bytes > 0) return "frees " + size_text(ram_bytes) + " of RAM";
    if (disk_bytes > 0) return "frees " + size_text(disk_bytes) + " of disk";
    return {};
}

std::string_view done_heading(const OptimiseResult& result) {
    if (result.test_run) return "Test run \xE2\x80\x94 nothing was changed";
    if (nothing_worked(result)) return "Nothing could be changed";
    if (has_problems(result)) return "Done, with problems";
    return "Done! Your PC is optimised";
}

std::vector<std::string> panel_done_lines(const OptimiseResult& result) {
    return fit_lines(result_lines(result), kPanelDoneLines);
}

double gauge_sweep_degrees(const MemoryStatus& memory) {
    double share = 0.0;
    if (memory.total_physical > 0)
        share = 0.5 * static_cast<double>(memory.commit_charge) /
                static_cast<double>(memory.total_physical);
    return std::min(1.0, std::max(0.02, share)) * 360.0;
}

std::string_view memory_heading(MemoryLevel level) {
    switch (level) {
        case MemoryLevel::High:
            return "Memory is getting tight";
        case MemoryLevel::Critical:
            return "Memory is overloaded";
        case MemoryLevel::Normal:
            break;
    }
    return "Memory looks healthy";
}

std::string gauge_percent_text(const MemoryStatus& memory) {
    return percent_text(committed_percent(memory));
}

std::string memory_used_text(const MemoryStatus& memory) {
    return size_text(memory.commit_charge) + " used on " + size_text(memory.total_physical) +
           " of RAM";
}

std::string memory_free_text(const MemoryStatus& memory) {
    return "Free right now: " + size_text(memory.available_physical);
}

PanelLayout panel_layout(std::uint32_t dpi) {
    const auto px = [dpi](int v) { return popup_px(v, dpi); };
    const auto box = [&](int x, int y, int w, int h) {
        return PopupRect{px(x), px(y), px(x) + px(w), px(y) + px(h)};
    };
    PanelLayout l;
    l.width = px(360);
    l.height = px(580);
    const int inner = l.width - px(32);
    l.close = {l.width - px(46), px(10), l.width - px(46) + px(34), px(10) + px(34)};
    l.focus = {px(16), l.height - px(192), px(16) + inner, l.height - px(192) + px(56)};
    l.main = {px(16), l.height - px(124), px(16) + inner, l.height - px(124) + px(64)};
    l.open = {px(16), l.height - px(52), px(16) + inner, l.height - px(52) + px(36)};
    // The rest of the layout sits above the Focus row (which starts at 388 at 96 DPI).
    l.icon = box(16, 16, 24, 24);
    l.title = box(48, 16, 200, 24);
    l.gauge = box(20, 56, 84, 84);
    l.heading = box(120, 64, 224, 24);
    l.used = box(120, 90, 224, 20);
    l.free = box(120, 112, 224, 20);
    l.apps_label = box(16, 152, 328, 18);
    for (int i = 0; i < 3; ++i)
        l.apps[i] = box(16, 174 + i * 22, 328, 20);
    l.action_area = {px(16), px(244), px(16) + inner, l.focus.top - px(10)};
    return l;
}

}  // namespace tess
