// The Home page's words and figures: the memory line, the proposal's headline and
// summary cards, the Done screen's score line and the progress ring's arithmetic.
// Pure functions of the scan report and the Optimise result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "changes/apply.hpp"
#include "core/memory.hpp"
#include "gui/levels.hpp"
#include "scan/scan.hpp"

namespace tess::ui {

// Committed ÷ total × 100, 0 when the total is 0.
MemoryLevel report_level(const MemoryStatus& memory);
// "Right now: {} used on {} of RAM ({:.0}%) — {}"
std::string idle_memory_line(const MemoryStatus& memory);
// "Memory {:.0}% · {}" of the header pill.
std::string memory_pill_text(const MemoryStatus& memory);

struct Headline {
    std::string text;
    std::uint32_t colour = 0;
};
// Junk worth cleaning, every suggestion and the warnings and problems.
unsigned things_to_fix(const ScanReport& report);
Headline proposal_headline(const ScanReport& report);
// "Optimise frees about {} of memory and {} of disk space." (a part that frees nothing
// left out) or the nothing-big line.
std::string proposal_frees_line(const ScanReport& report);
// "Memory {:.0}% of RAM ({})  ·  After Optimise: about {}/100"
std::string proposal_memory_line(const ScanReport& report);

struct Card {
    std::string value;
    std::string caption;
};
// The four summary cards, memory, junk, start-up and health, from the report's own ticks.
// A card whose bytes add up to nothing says "Nothing" in words.
Card memory_card(const ScanReport& report);
Card junk_card(const ScanReport& report);
Card startup_card(const ScanReport& report);
Card health_card(const ScanReport& report);

// "Done! Your PC is optimised", the test run's title, or, when something failed or was
// skipped, "Done, with problems" ("Nothing could be changed" when nothing worked).
std::string done_title(const OptimiseResult& result);

// What the Done screen shows of a run: the title, the disc (a green check, or the warning
// colour when something failed or was skipped) and the result lines that fit.
struct DoneView {
    std::string title;
    bool problems = false;
    std::uint32_t disc_colour = 0;
    std::vector<std::string> lines;

    bool operator==(const DoneView&) const = default;
};
inline constexpr std::size_t kDoneLines = 4;
DoneView done_view(const OptimiseResult& result, std::size_t room = kDoneLines);
struct ScoreLine {
    std::string text;  // empty when no score was recorded
    std::uint32_t colour = 0;
};
// While the measuring scan runs (`after` absent) and once it is known.
ScoreLine done_score_line(std::optional<unsigned> before, std::optional<unsigned> after);

// The progress screens' titles and step labels.
inline constexpr std::string_view kScanningTitle = "Scanning your PC\u2026";
inline constexpr std::string_view kOptimisingTitle = "Optimising\u2026";
inline constexpr std::string_view kScanSteps[4] = {"Memory and running programs", "Junk files",
                                                   "Startup apps and services", "Health checks"};
inline constexpr std::string_view kOptimiseSteps[4] = {
    "Closing idle programs", "Cleaning junk files", "Startup apps and services",
    "Measuring the result"};

// What a screen reader hears of the painted screens: the progress screen as
// "{title} {n}/4: {step}" (or the wait for admin approval), the health ring as
// "Health {score}/100", and the Done screen's title, score line and result lines, one a line.
std::string progress_spoken(bool scanning, int step, bool awaiting_approval);
std::string health_spoken(unsigned score);
std::string done_spoken(const DoneView& view, const ScoreLine& score);

// The progress ring: "{}/4" and the progress arc's sweep in degrees for a step.
std::string progress_count_text(int step);
double progress_sweep_degrees(int step);
// The health ring's sweep: the score's share of the circle, at least 2 % so 0 still shows.
double score_sweep_degrees(unsigned score);

}  // namespace tess::ui
