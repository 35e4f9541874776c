#include "core/log.hpp"

#include <cstdio>

namespace tess {

std::string format_stamp(unsigned day, unsigned month, unsigned hour, unsigned minute) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (month < 1) month = 1;
    if (month > 12) month = 12;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%u %s %02u:%02u", day, kMonths[month - 1], hour, minute);
    return buf;
}

std::string log_text(std::string_view stamp, std::string_view message) {
    std::string line;
    line.reserve(stamp.size() + message.size() + 3);
    line.append(stamp).append("  ").append(message).append("\n");
    return line;
}

}  // namespace tess
