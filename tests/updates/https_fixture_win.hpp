// The loopback HTTPS server that CTest starts before the update tests
// (https-fixture.sh): its address and the folder it serves under /files/.
#pragma once

#include <atomic>
#include <string>

#include <gtest/gtest.h>

#include "support/winutil.hpp"

namespace tess::test {

inline std::string https_fixture_path(const std::string& relative) {
    std::string path = std::string("Z:") + TESS_HTTPS_FIXTURE + "/" + relative;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// "https://localhost:{port}"; empty when the fixture is not running.
inline std::string https_base() {
    const auto port = read_text(https_fixture_path("port"));
    return port ? "https://localhost:" + *port : std::string();
}

// A folder of one test under the server's /files/, removed afterwards; `tag` keeps the
// folders of tests running side by side apart.
class Served {
public:
    explicit Served(const std::string& tag) {
        static std::atomic<int> counter{0};
        name_ =
            tag + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
        win::create_dirs(https_fixture_path("www/" + name_));
    }
    ~Served() { remove_tree(https_fixture_path("www/" + name_)); }
    Served(const Served&) = delete;
    Served& operator=(const Served&) = delete;
    std::string url(const std::string& file) const {
        return https_base() + "/files/" + name_ + "/" + file;
    }
    void put(const std::string& file, const std::string& bytes) const {
        ASSERT_TRUE(win::write_file(https_fixture_path("www/" + name_ + "/" + file), bytes));
    }
    // Whether the server was asked for this file at all.
    bool requested(const std::string& file) const {
        const auto log = read_text(https_fixture_path("requests.log"));
        return log && log->find("/files/" + name_ + "/" + file + " ") != std::string::npos;
    }

private:
    std::string name_;
};

}  // namespace tess::test
