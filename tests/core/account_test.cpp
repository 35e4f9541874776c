#include "core/account.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tess {
namespace {

const std::string kUser = "S-1-5-21-1004336348-1177238915-682003330-1001";
const std::string kAdmin = "S-1-5-21-1004336348-1177238915-682003330-500";

TEST(Account, SidText) {
    const struct {
        std::string text;
        bool ok;
    } cases[] = {
        {kUser, true},
        {"S-1-5-18", true},
        {"S-1-0-0", true},
        {"S-1-5-21-0-0-0-1000", true},  // Wine's user
        {"S-1-5-4294967295", true},
        {"S-1-0x123456789ABC-1", true},  // an authority beyond 32 bits, as Windows writes it
        {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", true},
        {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16", false},  // 16 sub-authorities
        {"S-1-5", false},                                         // none
        {"S-1-5-4294967296", false},
        {"S-1-5-007", false},
        {"S-1-5--7", false},
        {"S-1-5-18-", false},
        {"S-2-5-18", false},
        {"s-1-5-18", false},
        {"S-1-0x12345-1", false},
        {"S-1-5-+18", false},
        {"S-1-5-18 ", false},
        {" S-1-5-18", false},
        {"S-1-5-18)(A;;GA;;;WD", false},
        {std::string("S-1-5-18\0", 9), false},
        {"BA", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_sid_text(c.text), c.ok) << c.text;
}

TEST(Account, SameAccount) {
    EXPECT_TRUE(same_account(kUser, kUser));
    EXPECT_TRUE(same_account("S-1-0xABCDEF012345-1", "S-1-0xabcdef012345-1"));
    EXPECT_FALSE(same_account(kUser, kAdmin));
    EXPECT_FALSE(same_account("", ""));  // an unreadable account is nobody's
    EXPECT_FALSE(same_account("", kUser));
    EXPECT_FALSE(same_account("x", "x"));
}

// The lock an admin helper makes while approved as another account admits the user it
// works for, so the user's tray watch can open it and wait instead of writing unlocked.
TEST(Account, SharedLockAdmitsTheUserTheHelperWorksFor) {
    const std::string all = "0x001F0001";
    EXPECT_EQ(shared_lock_sddl(kAdmin, kUser), "D:(A;;" + all + ";;;" + kAdmin + ")(A;;" + all +
                                                   ";;;" + kUser + ")(A;;" + all + ";;;SY)(A;;" +
                                                   all + ";;;BA)S:(ML;;NW;;;ME)");
    const std::string own_only = "D:(A;;" + all + ";;;" + kUser + ")(A;;" + all + ";;;SY)(A;;" +
                                 all + ";;;BA)S:(ML;;NW;;;ME)";
    EXPECT_EQ(shared_lock_sddl(kUser, ""), own_only);
    EXPECT_EQ(shared_lock_sddl(kUser, kUser), own_only);
    // Only a SID goes in: anything else would be SDDL of its own.
    EXPECT_EQ(shared_lock_sddl(kUser, "S-1-1-0)(A;;GA;;;WD"), own_only);
}

TEST(Account, PrivateFolder) {
    EXPECT_EQ(private_folder_sddl(kUser),
              "D:P(A;OICI;FA;;;" + kUser + ")(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)");
}

}  // namespace
}  // namespace tess
