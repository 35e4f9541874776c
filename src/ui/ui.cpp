#include "ui/ui.hpp"

#include "core/entry.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace tess::ui {

namespace {

constexpr PageInfo kPageInfo[kPageCount] = {
    {"Home", u'\xE80F', ""},
    {"Junk files", u'\xE74D',
     "Files your PC doesn't need. Ticked ones are safe; the others are up to you. Deleted "
     "files can't be restored."},
    {"Developer junk", u'\xE943',
     "Dependency and build folders your tools make again when needed. Ticked: projects nobody "
     "changed for 30+ days."},
    {"Apps using memory", u'\xE71D',
     "Everything running right now, biggest first. Tick an app to close it. Unsaved work in "
     "that app is lost."},
    {"Start with Windows", u'\xE7E8',
     "Apps that open by themselves when you sign in. Turning one off doesn't uninstall it."},
    {"Background services", u'\xE713',
     "Programs that keep running in the background. \u201CWhen needed\u201D means they start "
     "only when an app asks for them."},
    {"Autopilot & Focus", u'\xE916',
     "Clean-ups that run on their own, and full power for the apps you're using."},
    {"History & undo", u'\xE81C',
     "Everything Tessavo changed. Tick a change to put it back the way it was."},
};

constexpr int kButtonIds[] = {
    300, 301, 302, 303, 304, 305, 306, 307, 205,  // sidebar
    210, 211, 220, 221, 222, 223, 200,            // Home and the header
    230, 231,                                     // Home when done
    201,                                          // above the list
    250, 255, 256, 251, 252, 253, 254,            // Autopilot & Focus, top to bottom
    257, 204,                                     // the action bar, left to right
};

}  // namespace

const PageInfo& page_info(Page page) {
    return kPageInfo[static_cast<int>(page)];
}

Page page_from_index(int index) {
    return index >= 0 && index < kPageCount ? static_cast<Page>(index) : Page::Home;
}

std::span<const int> button_ids() {
    return kButtonIds;
}

float next_spinner_angle(float angle) {
    return std::fmod(angle + kSpinnerStep, 360.0f);
}

bool shows_list(Page page, HomePhase phase) {
    if (page == Page::Home) return phase == HomePhase::Proposal;
    return page != Page::Autopilot;
}

bool shows_rescan(Page page, HomePhase phase) {
    return shows_list(page, phase);
}

std::vector<int> fit_columns(std::span<const Column> columns, int dpi, int client_width,
                             int vscroll_width) {
    std::vector<int> widths;
    if (columns.empty()) return widths;
    long long sum = 0;
    for (const Column& c : columns) {
        widths.push_back(c.width * dpi / 96);
        sum += widths.back();
    }
    const int available = client_width - vscroll_width - 2;
    const double factor =
        sum > 0 ? std::min(1.0, static_cast<double>(available) / static_cast<double>(sum)) : 1.0;
    int others = 0;
    for (std::size_t i = 0; i + 1 < widths.size(); ++i) {
        widths[i] = std::max(static_cast<int>(widths[i] * factor), 40);
        others += widths[i];
    }
    const int last = available - others;
    widths.back() = last <= 60 ? 60 : last;
    return widths;
}

StartOptions start_options(std::span<const std::string> args) {
    StartOptions o;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--scan") o.scan = true;
        if (args[i] == "--history") o.history = true;
        if (args[i] == "--autopilot") o.autopilot = true;
    }
    o.after_update = after_update_pid(std::vector<std::string>(args.begin(), args.end()));
    return o;
}

std::string_view busy_reason(bool scanning) {
    return scanning ? "a scan is running" : "changes are being applied";
}

std::string scan_again_off_text(bool scanning) {
    return "Scan again is off while " + std::string(busy_reason(scanning)) + ".";
}

SharedState& shared_state() {
    static SharedState state;
    return state;
}

std::optional<PendingStatus> join_statuses(std::span<const PendingStatus> statuses) {
    if (statuses.empty()) return std::nullopt;
    PendingStatus joined;
    for (const PendingStatus& p : statuses) {
        if (p.text.empty()) continue;
        if (!joined.text.empty()) joined.text += ' ';
        joined.text += p.text;
        if (p.kind == StatusKind::Problem || joined.kind == StatusKind::Neutral)
            joined.kind = p.kind;
    }
    return joined;
}

void post_status(SharedState& s, PendingStatus status) {
    std::lock_guard lock(s.mutex);
    s.pending_statuses.push_back(std::move(status));
}

std::optional<PendingStatus> take_pending_status(SharedState& s, bool rescan_done) {
    std::vector<PendingStatus> taken;
    {
        std::lock_guard lock(s.mutex);
        auto& queue = s.pending_statuses;
        const auto waits = [&](const PendingStatus& p) { return p.after_rescan && !rescan_done; };
        std::copy_if(queue.begin(), queue.end(), std::back_inserter(taken),
                     [&](const PendingStatus& p) { return !waits(p); });
        std::erase_if(queue, [&](const PendingStatus& p) { return !waits(p); });
    }
    return join_statuses(taken);
}

bool try_begin(SharedState& s, bool SharedState::*flag) {
    std::lock_guard lock(s.mutex);
    if (s.*flag) return false;
    s.*flag = true;
    return true;
}

}  // namespace tess::ui
