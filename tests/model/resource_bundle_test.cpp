#include <capturekit/platform/resource_bundle.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>

#include <fstream>

using namespace capturekit;
namespace fs = std::filesystem;

namespace {

class ResourceBundleLookup : public testing::Test {
protected:
    fs::path makeBundle(const fs::path& folder) {
        fs::create_directories(folder / ResourceBundle::name / "AppIcons");
        std::ofstream(folder / ResourceBundle::name / "AppIcons" / "stash.png") << "png";
        return folder / ResourceBundle::name;
    }

    tarvo::test::TemporaryFolder temporary;
    const fs::path root = temporary / "bundle test";
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
