// A Status as tests compare it: nullopt for success, else the message.
#pragma once

#include <optional>
#include <string>

#include "core/result.hpp"

namespace tess::test {

inline std::optional<std::string> failure(const Status& status) {
    if (status) return std::nullopt;
    return status.error();
}

}  // namespace tess::test
