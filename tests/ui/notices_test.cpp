// The notices file the build generates and the installer writes.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace tess {
namespace {

std::string host_path(std::string path) {
#ifdef _WIN32
    // A Linux path, read through Wine's drive for the host's root.
    for (char& c : path)
        if (c == '/') c = '\\';
    path = "Z:" + path;
#endif
    return path;
}

std::string slurp(const std::string& path) {
    std::ifstream in(host_path(path), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Lines without their CRLF; false when a line ends otherwise.
bool crlf_lines(const std::string& text, std::vector<std::string>& lines) {
    std::size_t start = 0;
    while (start < text.size()) {
        const auto lf = text.find('\n', start);
        if (lf == std::string::npos || lf == start || text[lf - 1] != '\r') return false;
        lines.push_back(text.substr(start, lf - 1 - start));
        start = lf + 1;
    }
    return true;
}

TEST(Notices, LayoutAndTextsFromThePackages) {
    const std::string text = slurp(TESS_NOTICES_FILE);
    std::vector<std::string> lines;
    ASSERT_TRUE(crlf_lines(text, lines)) << "every line, the last included, ends in CRLF";
    ASSERT_GT(lines.size(), 10u);
    EXPECT_EQ(lines[0], "Tessavo includes the following open-source components.");
    EXPECT_EQ(lines[1], "Each is used under the license reproduced in its section.");
    EXPECT_EQ(lines[2], "");
    EXPECT_NE(lines.back(), "");

    const std::string bar(72, '=');
    std::vector<std::string> names;
    for (std::size_t i = 3; i + 2 < lines.size(); ++i) {
        if (lines[i] != bar) continue;
        ASSERT_EQ(lines[i + 2], bar) << i;
        EXPECT_EQ(lines[i - 1], "") << "one empty line before section " << lines[i + 1];
        if (i > 3) {
            EXPECT_NE(lines[i - 2], "") << "only one, before " << lines[i + 1];
        }
        names.push_back(lines[i + 1]);
        i += 2;
    }
    const std::vector<std::string> components{"nlohmann/json", "MinGW-w64 runtime and winpthreads",
                                              "GCC runtime libraries (libstdc++, libgcc)"};
    ASSERT_EQ(names.size(), components.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_TRUE(std::regex_match(
            names[i],
            std::regex(std::regex_replace(components[i], std::regex(R"([()+])"), R"(\$&)") +
                       R"( \d+\.\d+\.\d+)")))
            << names[i];

    // Copied, not retyped: the GPL text as the system ships it, and the licences the
    // MinGW runtime's own files name.
    std::string gpl = slurp("/usr/share/common-licenses/GPL-3");
    ASSERT_FALSE(gpl.empty());
    std::string gpl_crlf;
    for (char c : gpl) {
        if (c == '\n') gpl_crlf += '\r';
        gpl_crlf += c;
    }
    EXPECT_TRUE(text.size() > gpl_crlf.size() &&
                text.compare(text.size() - gpl_crlf.size(), gpl_crlf.size(), gpl_crlf) == 0);
    for (const char* part :
         {"License: ZPL-2.1\r\n", "License: Expat\r\nPermission is hereby",
          "GCC RUNTIME LIBRARY EXCEPTION\r\n", "Files: mingw-w64-libraries/winpthreads/*"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    // Tools and profiling code that never reach the program are left out.
    for (const char* part : {"mingw-w64-tools/", "Files: mingw-w64-crt/profile/", "tests_pthread"})
        EXPECT_EQ(text.find(part), std::string::npos) << part;
}

}  // namespace
}  // namespace tess
