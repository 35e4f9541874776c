#include <gtest/gtest.h>

#include "support/fake_fs.hpp"
#include "sys/fsops.hpp"

namespace tess {
namespace {

using test::FakeFs;

TEST(VerifiedOps, ListingRefusesLinksAndMisplacedFolders) {
    FakeFs fs;
    fs.add_file("C:\\real\\a.txt", 1);
    fs.add_file("C:\\decoy\\keep.txt", 1);
    fs.add_link("C:\\real\\link", "C:\\decoy");
    const FileOps ops = fs.ops();
    std::vector<DirEntry> out;
    EXPECT_TRUE(list_folder(ops, "C:\\real", "C:\\real", out));
    EXPECT_EQ(out.size(), 2u);
    out.clear();
    EXPECT_FALSE(list_folder(ops, "C:\\real\\link", "", out));
    EXPECT_FALSE(list_folder(ops, "C:\\real\\link", "C:\\real\\link", out));
    // The right folder at an unexpected place (reached through a link) is refused too.
    fs.add_dir("C:\\real\\inner");
    fs.add_link("C:\\via", "C:\\real");
    EXPECT_FALSE(list_folder(ops, "C:\\via\\inner", "C:\\via\\inner", out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(real_folder_final_path(ops, "C:\\real\\link"));
    EXPECT_EQ(real_folder_final_path(ops, "C:\\real").value_or(""), "C:\\real");
}

TEST(VerifiedOps, DeletesOnlyWhatIsWhereTheWalkExpects) {
    FakeFs fs;
    fs.add_file("C:\\t\\a.txt", 1);
    fs.add_file("C:\\decoy\\sub\\a.txt", 1);
    fs.add_link("C:\\t\\sub", "C:\\decoy\\sub");
    const FileOps ops = fs.ops();
    // The path resolves through a link into the decoy: the expected place differs.
    EXPECT_EQ(delete_file_at(ops, "C:\\t\\sub\\a.txt", "C:\\t\\sub\\a.txt", false),
              FsOutcome::Refused);
    EXPECT_TRUE(fs.exists("C:\\decoy\\sub\\a.txt"));
    EXPECT_EQ(delete_file_at(ops, "C:\\t\\a.txt", "C:\\t\\a.txt", false), FsOutcome::Done);
    EXPECT_EQ(delete_file_at(ops, "C:\\t\\a.txt", "C:\\t\\a.txt", false), FsOutcome::Missing);
    // A folder is never deleted as a file, nor a link as a folder.
    EXPECT_EQ(delete_file_at(ops, "C:\\decoy\\sub", "C:\\decoy\\sub", false), FsOutcome::Refused);
    EXPECT_EQ(remove_folder_at(ops, "C:\\t\\sub", "C:\\t\\sub"), FsOutcome::Refused);
    // A link goes as itself; its target stays.
    EXPECT_EQ(remove_link_at(ops, "C:\\t\\sub", "C:\\t\\sub"), FsOutcome::Done);
    EXPECT_FALSE(fs.exists("C:\\t\\sub"));
    EXPECT_TRUE(fs.exists("C:\\decoy\\sub\\a.txt"));
}

TEST(VerifiedOps, ReadOnlyAndInUseFiles) {
    FakeFs fs;
    fs.add_file("C:\\t\\ro.txt", 1, 0, kAttrReadOnly);
    fs.add_file("C:\\t\\open.txt", 1);
    fs.lock("C:\\t\\open.txt");
    const FileOps ops = fs.ops();
    EXPECT_EQ(delete_file_at(ops, "C:\\t\\ro.txt", "C:\\t\\ro.txt", false), FsOutcome::Failed);
    EXPECT_TRUE(fs.exists("C:\\t\\ro.txt"));
    EXPECT_EQ(delete_file_at(ops, "C:\\t\\ro.txt", "C:\\t\\ro.txt", true), FsOutcome::Done);
    EXPECT_EQ(delete_file_at(ops, "C:\\t\\open.txt", "C:\\t\\open.txt", true), FsOutcome::Failed);
    EXPECT_TRUE(fs.exists("C:\\t\\open.txt"));
}

// Under Wine a link is opened through to its target and removing it removes the
// target; a file link is not marked at all. The checks on the final path still hold.
TEST(VerifiedOps, WineStyleLinksAreNeverRemovedThroughTheirTargets) {
    FakeFs fs(FakeFs::LinkStyle::Wine);
    fs.add_dir("C:\\decoy\\empty");
    fs.add_file("C:\\decoy\\keep.txt", 5);
    fs.add_link("C:\\t\\dirlink", "C:\\decoy\\empty");
    fs.add_link("C:\\t\\filelink.txt", "C:\\decoy\\keep.txt", false);
    const FileOps ops = fs.ops();
    std::vector<DirEntry> out;
    ASSERT_TRUE(list_folder(ops, "C:\\t", "C:\\t", out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(is_link(out[0].attributes));   // dirlink: marked
    EXPECT_FALSE(is_link(out[1].attributes));  // filelink.txt: looks like a file
    EXPECT_EQ(remove_link_at(ops, "C:\\t\\dirlink", "C:\\t\\dirlink"), FsOutcome::Refused);
    EXPECT_EQ(delete_file_at(ops, "C:\\t\\filelink.txt", "C:\\t\\filelink.txt", true),
              FsOutcome::Refused);
    EXPECT_TRUE(fs.exists("C:\\decoy\\empty"));
    EXPECT_TRUE(fs.exists("C:\\decoy\\keep.txt"));
    EXPECT_FALSE(real_folder_final_path(ops, "C:\\t\\dirlink"));
}

}  // namespace
}  // namespace tess
