#include "setup/update_window.hpp"

#include <algorithm>

#include "core/text.hpp"
#include "gui/paint.hpp"
#include "setup/setup.hpp"

namespace tess::ui {

namespace {

constexpr std::string_view kBullet = "\xE2\x80\xA2";  // U+2022
constexpr std::size_t kMaxNoteLines = 12;
constexpr std::size_t kMaxNoteChars = 900;

std::string_view strip_hashes(std::string_view s) {
    while (!s.empty() && s.front() == '#')
        s.remove_prefix(1);
    return s;
}

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (true) {
        const std::size_t end = text.find('\n');
        lines.push_back(trim(text.substr(0, end)));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string remove_all(std::string text, std::string_view part) {
    for (std::size_t at; (at = text.find(part)) != std::string::npos;)
        text.erase(at, part.size());
    return text;
}

// The first `count` characters (code points) of UTF-8 text, never half of one.
std::string_view first_chars(std::string_view text, std::size_t count, bool& cut) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // continuation
        if (chars == count) {
            cut = true;
            return text.substr(0, i);
        }
        ++chars;
    }
    cut = false;
    return text;
}

}  // namespace

std::vector<std::string> update_note_lines(std::string_view body) {
    const std::vector<std::string_view> all = split_lines(body);
    std::size_t from = 0, to = all.size();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (to_lower_ascii(trim(strip_hashes(all[i]))) != "what's new") continue;
        from = i + 1;
        to = from;
        while (to < all.size() && !starts_with(all[to], "#") && !starts_with(all[to], "---"))
            ++to;
        break;
    }

    std::string joined;
    std::size_t taken = 0;
    for (std::size_t i = from; i < to && taken < kMaxNoteLines; ++i) {
        const std::string_view line = all[i];
        if (line.empty() || starts_with(line, "|") ||
            contains(to_lower_ascii(line), "full changelog"))
            continue;
        std::string text(trim(strip_hashes(line)));
        if (starts_with(text, "- ") || starts_with(text, "* "))
            text = std::string(kBullet) + " " + text.substr(2);
        text = remove_all(remove_all(std::move(text), "**"), "`");
        if (taken++) joined += '\n';
        joined += text;
    }
    bool cut = false;
    std::string notes(first_chars(joined, kMaxNoteChars, cut));
    if (cut) notes += "\xE2\x80\xA6";  // …

    std::vector<std::string> lines;
    for (std::string_view line : split_lines(notes)) {
        while (starts_with(line, kBullet))
            line.remove_prefix(kBullet.size());
        line = trim(line);
        if (!line.empty()) lines.emplace_back(line);
    }
    return lines;
}

std::string more_notes_text(std::size_t line_count) {
    if (line_count <= kNoteLinesShown) return {};
    return "and " + std::to_string(line_count - kNoteLinesShown) + " more";
}

std::string update_subtitle(std::string_view running_version, std::uint64_t download_bytes) {
    std::string text = "You have " + std::string(running_version);
    if (download_bytes > 0) text += " \xC2\xB7 " + size_text(download_bytes) + " download";
    return text + " \xC2\xB7 keeps your settings and history";
}

std::string update_status_text(UpdatePhase phase, std::uint64_t bytes, std::uint64_t total) {
    if (phase == UpdatePhase::Installed) return "Installed. Restarting Tessavo\xE2\x80\xA6";
    if (phase != UpdatePhase::Installing) return {};
    if (total > 0 && bytes >= total) return "Checking the download\xE2\x80\xA6";
    if (total > 0 && bytes > 0)
        return "Downloading " + size_text(bytes) + " of " + size_text(total) + "\xE2\x80\xA6";
    return "Downloading\xE2\x80\xA6";
}

std::string update_failure_text(std::string_view error, bool program_in_place) {
    while (!error.empty() && error.back() == '.')
        error.remove_suffix(1);
    std::string text = "The update couldn't be installed: " + std::string(error) + ". ";
    if (program_in_place) return text + "Your current version keeps working.";
    return text + "Download Tessavo again from " + std::string(kReleasesPage) + ".";
}

int update_footer_height(int dpi, int status_text_height) {
    return scale(18, dpi) + std::max(scale(40, dpi), status_text_height) + scale(18, dpi);
}

int update_client_height(int footer_top, int footer, int limit) {
    return std::min(footer_top + 1 + footer, limit);
}

double update_progress_fraction(UpdatePhase phase, std::uint64_t bytes, std::uint64_t total) {
    if (phase == UpdatePhase::Installed) return 1.0;
    if (total == 0) return 0.1;
    return std::clamp(static_cast<double>(bytes) / static_cast<double>(total), 0.02, 1.0);
}

}  // namespace tess::ui
