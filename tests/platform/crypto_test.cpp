#include <capturekit/platform/base64.hpp>
#include <capturekit/platform/uuid.hpp>

#include <gtest/gtest.h>

#include <set>

using namespace capturekit;

TEST(Crypto, UUIDsAreVersion4UpperCaseAndDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string uuid = makeUUIDString();
        ASSERT_TRUE(isUUIDString(uuid)) << uuid;
        EXPECT_EQ(uuid[14], '4');
        EXPECT_NE(std::string("89AB").find(uuid[19]), std::string::npos);
        EXPECT_EQ(uuid.find_first_of("abcdef"), std::string::npos);
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(Base64, RoundTripsEveryRemainderWithAndWithoutPadding) {
    const std::string bytes("\x00\xFB\xFF\x10\x7E\xC3", 6);
    for (std::size_t n = 0; n <= bytes.size(); ++n) {
        const std::string part = bytes.substr(0, n);
        EXPECT_EQ(base64::decode(base64::encode(part)), part);
        EXPECT_EQ(base64::decodeURL(base64::encodeURLUnpadded(part)), part);
    }
    EXPECT_EQ(base64::encode("\xFB\xFF"), "+/8=");
    EXPECT_EQ(base64::encodeURLUnpadded("\xFB\xFF"), "-_8");
    EXPECT_EQ(base64::decode("Zm9vYg=="), "foob");
    EXPECT_EQ(base64::decode("Zm9vYg"), "foob");
    EXPECT_FALSE(base64::decode("Zm9v!g=="));
    EXPECT_FALSE(base64::decode("Z"));
    EXPECT_FALSE(base64::decodeURL("+/8="));
}
