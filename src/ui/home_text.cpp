#include "ui/home_text.hpp"

#include <algorithm>
#include <cstdio>

#include "core/text.hpp"
#include "ui/rows.hpp"

namespace tess::ui {
namespace {

bool counts_as_idle_program(SuggestionSection s) {
    return s == SuggestionSection::DevTool || s == SuggestionSection::BackgroundApp;
}

std::uint64_t ticked_suggestion_bytes(const ScanReport& report) {
    std::uint64_t sum = 0;
    for (const Suggestion& s : report.suggestions)
        if (s.ticked) sum += s.bytes;
    return sum;
}

std::uint64_t ticked_junk_bytes(const ScanReport& report) {
    std::uint64_t sum = 0;
    for (const JunkRow& j : report.junk)
        if (j.ticked) sum += j.bytes;
    return sum;
}

}  // namespace

MemoryLevel report_level(const MemoryStatus& memory) {
    return memory_level(memory.total_physical, memory.available_physical, memory.commit_charge);
}

std::string idle_memory_line(const MemoryStatus& memory) {
    return "Right now: " + size_text(memory.commit_charge) + " used on " +
           size_text(memory.total_physical) + " of RAM (" +
           percent_text(committed_percent(memory)) + ") — " +
           std::string(memory_level_text(report_level(memory)));
}

std::string memory_pill_text(const MemoryStatus& memory) {
    return "Memory " + percent_text(committed_percent(memory)) + " · " +
           std::string(memory_level_text(report_level(memory)));
}

unsigned things_to_fix(const ScanReport& report) {
    unsigned n = static_cast<unsigned>(report.suggestions.size());
    for (const JunkRow& j : report.junk)
        if (j.ticked && j.bytes > 0) ++n;
    for (const HealthItem& h : report.health)
        if (h.severity != Severity::Tip) ++n;
    return n;
}

Headline proposal_headline(const ScanReport& report) {
    const unsigned n = things_to_fix(report);
    if (n == 0) return {"Your PC is in great shape", kGreenColour};
    if (n == 1) return {"1 thing is slowing your PC", kTextColour};
    return {std::to_string(n) + " things are slowing your PC", kTextColour};
}

std::string proposal_frees_line(const ScanReport& report) {
    const std::uint64_t memory = ticked_suggestion_bytes(report);
    const std::uint64_t disk = ticked_junk_bytes(report);
    if (memory + disk == 0)
        return "Nothing big to free right now. You can still look through the list below.";
    if (disk == 0) return "Optimise frees about " + size_text(memory) + " of memory.";
    if (memory == 0) return "Optimise frees about " + size_text(disk) + " of disk space.";
    return "Optimise frees about " + size_text(memory) + " of memory and " + size_text(disk) +
           " of disk space.";
}

std::string proposal_memory_line(const ScanReport& report) {
    return "Memory " + percent_text(committed_percent(report.memory)) + " of RAM (" +
           std::string(memory_level_text(report_level(report.memory))) +
           ")  ·  After Optimise: about " + std::to_string(report.score_after) + "/100";
}

Card memory_card(const ScanReport& report) {
    std::size_t idle = 0;
    for (const Suggestion& s : report.suggestions)
        if (counts_as_idle_program(s.section)) ++idle;
    const std::uint64_t bytes = ticked_suggestion_bytes(report);
    if (bytes == 0) return {"Nothing", "to free from idle programs"};
    return {size_text(bytes), "of memory held by " + std::to_string(idle) + " idle " +
                                  (idle == 1 ? "program" : "programs")};
}

Card junk_card(const ScanReport& report) {
    const std::uint64_t bytes = ticked_junk_bytes(report);
    if (bytes == 0) return {"Nothing", "to clean in junk files"};
    return {size_text(bytes), "of junk files to clean"};
}

Card startup_card(const ScanReport& report) {
    std::size_t n = 0;
    for (const Suggestion& s : report.suggestions)
        if (!counts_as_idle_program(s.section)) ++n;
    return {std::to_string(n), "apps and services start by themselves"};
}

Card health_card(const ScanReport& report) {
    return {std::to_string(report.health.size()),
            report.health.empty() ? "health checks all passed" : "health warnings and tips"};
}

std::string done_title(const OptimiseResult& result) {
    if (result.test_run) return "Test run finished — nothing was changed";
    if (nothing_worked(result)) return "Nothing could be changed";
    if (has_problems(result)) return "Done, with problems";
    return "Done! Your PC is optimised";
}

DoneView done_view(const OptimiseResult& result, std::size_t room) {
    const bool problems = has_problems(result);
    return {done_title(result), problems, problems ? kAmberColour : kGreenColour,
            fit_lines(result_lines(result), room)};
}

ScoreLine done_score_line(std::optional<unsigned> before, std::optional<unsigned> after) {
    if (!before) return {};
    if (!after)
        return {"Health score was " + std::to_string(*before) + ". Checking the new score…",
                kMutedColour};
    return {"Health score: " + std::to_string(*before) + " → " + std::to_string(*after),
            *after > *before ? kGreenColour : kMutedColour};
}

std::string progress_count_text(int step) {
    return std::to_string(std::clamp(step, 0, 3) + 1) + "/4";
}

std::string progress_spoken(bool scanning, int step, bool awaiting_approval) {
    std::string text(scanning ? kScanningTitle : kOptimisingTitle);
    if (awaiting_approval && !scanning) return text + " " + std::string(kWaitingForApproval);
    const auto& labels = scanning ? kScanSteps : kOptimiseSteps;
    return text + " " + progress_count_text(step) + ": " +
           std::string(labels[std::clamp(step, 0, 3)]);
}

std::string health_spoken(unsigned score) {
    return "Health " + std::to_string(score) + "/100";
}

std::string done_spoken(const DoneView& view, const ScoreLine& score) {
    std::string text = view.title;
    if (!score.text.empty()) text += "\n" + score.text;
    for (const std::string& line : view.lines)
        text += "\n" + line;
    return text;
}

double progress_sweep_degrees(int step) {
    return std::clamp(step, 0, 3) * 90.0;
}

double score_sweep_degrees(unsigned score) {
    return std::max(std::min(score, 100u), 2u) * 3.6;
}

}  // namespace tess::ui
