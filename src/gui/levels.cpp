#include "gui/levels.hpp"

#include "gui/paint.hpp"

namespace tess::ui {

std::uint32_t level_colour(MemoryLevel level) {
    switch (level) {
        case MemoryLevel::Normal:
            return colour::kSuccess;
        case MemoryLevel::High:
            return colour::kWarning;
        case MemoryLevel::Critical:
            return colour::kProblem;
    }
    return colour::kSuccess;
}

std::uint32_t score_colour(unsigned score) {
    if (score >= 75) return colour::kSuccess;
    if (score >= 50) return colour::kWarning;
    return colour::kProblem;
}

}  // namespace tess::ui
