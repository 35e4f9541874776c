#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/win.hpp"
#include "support/child.hpp"
#include "support/test_service.hpp"
#include "support/winutil.hpp"
#include "sys/services_win.hpp"

namespace tess {
namespace {

using test::TestService;

const ServiceInfo* find_service(const std::vector<ServiceInfo>& list, const std::string& name) {
    const auto it = std::find_if(list.begin(), list.end(),
                                 [&](const ServiceInfo& s) { return s.name == name; });
    return it == list.end() ? nullptr : &*it;
}

TEST(ServicesWin, ListsEachServiceOnceWhenTheFirstBufferIsTooSmall) {
    const auto normal = list_services();
    ASSERT_FALSE(normal.empty());
    // Wine answers a short buffer with no entries and no resume point; the restart rule
    // still lists everything once.
    for (std::uint64_t first : {0ull, 64ull, 1024ull}) {
        const auto restarted = list_services(first);
        // Test services of other tests are left out: one that failed may have left its own.
        std::vector<std::string> a, b;
        for (const auto& s : normal)
            if (!s.name.starts_with("TessavoTest")) a.push_back(s.name);
        for (const auto& s : restarted)
            if (!s.name.starts_with("TessavoTest")) b.push_back(s.name);
        EXPECT_EQ(a, b) << first;
        EXPECT_EQ(std::set<std::string>(b.begin(), b.end()).size(), b.size()) << first;
    }
}

TEST(ServicesWin, OwnServiceListedChangedStartedAndStopped) {
    TestService t("Probe");
    ASSERT_TRUE(t.svc) << ::GetLastError();

    auto list = list_services();
    const ServiceInfo* s = find_service(list, t.name);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->display, t.display);
    EXPECT_EQ(s->binary_path, t.command);
    EXPECT_EQ(s->start_type, 3u);
    EXPECT_FALSE(s->running);
    EXPECT_EQ(s->pid, 0u);

    const ServiceConfig cfg = query_service(t.scm.get(), t.name);
    EXPECT_EQ(cfg.code, 0u);
    EXPECT_EQ(cfg.start_type, 3u);
    EXPECT_EQ(cfg.binary_path, t.command);
    EXPECT_EQ(query_service(t.scm.get(), "TessavoNoSuchService").code, 1060u);

    // Change and restore the start type.
    ASSERT_EQ(set_service_start(t.name, 4), 0u);
    EXPECT_EQ(query_service(t.scm.get(), t.name).start_type, 4u);
    list = list_services();
    ASSERT_NE(find_service(list, t.name), nullptr);
    EXPECT_EQ(find_service(list, t.name)->start_type, 4u);
    ASSERT_EQ(set_service_start(t.name, 3), 0u);
    EXPECT_EQ(query_service(t.scm.get(), t.name).start_type, 3u);

    // Stopping a stopped service is success.
    EXPECT_EQ(stop_service(t.name), 0u);

    ASSERT_TRUE(::StartServiceW(t.svc.get(), 0, nullptr)) << ::GetLastError();
    ASSERT_TRUE(t.wait_for(SERVICE_RUNNING));
    list = list_services();
    s = find_service(list, t.name);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->running);
    EXPECT_NE(s->pid, 0u);

    EXPECT_EQ(stop_service(t.name), 0u);
    EXPECT_TRUE(t.wait_for(SERVICE_STOPPED));
    EXPECT_EQ(stop_service(t.name), 0u);
}

TEST(ServicesWin, MissingServiceGives1060) {
    const std::uint32_t code = set_service_start("TessavoNoSuchService", 3);
    EXPECT_EQ(code, 1060u);
    EXPECT_EQ(service_error_words(code), "service does not exist");
    EXPECT_EQ(stop_service("TessavoNoSuchService"), 1060u);
}

}  // namespace
}  // namespace tess
