#include <capturekit/platform/resource_bundle.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace capturekit;
namespace fs = std::filesystem;

namespace {

class ResourceBundleLookup : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "bundle test XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path makeBundle(const fs::path& folder) {
        fs::create_directories(folder / ResourceBundle::name / "AppIcons");
        std::ofstream(folder / ResourceBundle::name / "AppIcons" / "stash.png") << "png";
        return folder / ResourceBundle::name;
    }

    fs::path root;
};

} // namespace

TEST_F(ResourceBundleLookup, TakesTheFirstFolderThatHoldsTheBundle) {
    fs::create_directories(root / "empty");
    fs::create_directories(root / "file");
    std::ofstream(root / "file" / ResourceBundle::name) << "not a folder";
    const fs::path bundle = makeBundle(root / "second");
    makeBundle(root / "third");
    const std::vector<fs::path> folders{root / "missing", root / "empty", root / "file",
                                        root / "second", root / "third"};
    const auto found = ResourceBundle::locate(folders);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->folder(), bundle);
    EXPECT_EQ(ResourceBundle::locate(std::vector<fs::path>{root / "empty"}), std::nullopt);
}

TEST_F(ResourceBundleLookup, GivesFileURLsOnlyForResourcesThatExist) {
    const ResourceBundle bundle(makeBundle(root / "with space"));
    EXPECT_EQ(bundle.path("stash", "png", "AppIcons"), bundle.folder() / "AppIcons" / "stash.png");
    EXPECT_EQ(bundle.path("diary", "png", "AppIcons"), std::nullopt);
    EXPECT_EQ(bundle.path("AppIcons", "", ""), std::nullopt);
    const auto url = bundle.url("stash", "png", "AppIcons");
    ASSERT_TRUE(url);
    EXPECT_TRUE(url->starts_with("file:///")) << *url;
    EXPECT_TRUE(url->ends_with("/with%20space/CaptureKit_CaptureKit/AppIcons/stash.png")) << *url;
}
