#include <capturekit/delivery/idempotency_key.hpp>
#include <capturekit/delivery/outbox_item.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <utility>
#include <vector>

using namespace capturekit;
using namespace std::chrono_literals;
using namespace std::string_view_literals;

namespace {

OutboxItem fullItem() {
    CaptureIngestRequest request{{.destination = Destination::docket,
                                  .title = "Quote \" and brace } and [ in a title",
                                  .content = "line one\nline \\ two \"quoted\" {not json} \u00e9",
                                  .tags = {"desktop", "{", "]"},
                                  .screenshot = "data:image/jpeg;base64,/9j/4AAQSkZJRgABAQ=="}};
    return OutboxItem{.id = "0F5B1D52-3D7E-4A44-9C1E-5F1C2B8A9D01",
                      .request = std::move(request),
                      .idempotencyKey = "key-1",
                      .logDestination = Destination::bloom,
                      .logTitle = "A \"title\" ending in a backslash \\",
                      .createdAt = dates::referenceDate + 86400s + 500ms,
                      .lastError = "server 503",
                      .attempts = 3,
                      .owner = "user-1"};
}

OutboxItem withoutRequest(OutboxItem item) {
    item.request = CaptureIngestRequest{};
    return item;
}

} // namespace

TEST(OutboxItemCoding, WritesTheFieldsInOrderWithoutAbsentOnesAndReadsEveryFieldBack) {
    OutboxItem item{.id = "i",
                    .request = CaptureIngestRequest{{.content = "x"}},
                    .idempotencyKey = "k",
                    .logDestination = Destination::bloom,
                    .logTitle = "t",
                    .createdAt = dates::referenceDate + 86400s + 500ms,
                    .lastError = "server 503",
                    .attempts = 3,
                    .owner = "u"};
    const std::string head =
        R"({"id":"i","request":{"content":"x","tags":[]},"idempotencyKey":"k",)"
        R"("logDestination":"bloom","logTitle":"t","createdAt":86400.5)";
    EXPECT_EQ(item.encoded().value_or(""),
              head + R"(,"lastError":"server 503","attempts":3,"owner":"u"})");
    item.lastError.reset();
    item.attempts.reset();
    item.owner.reset();
    EXPECT_EQ(item.encoded().value_or(""), head + "}");
    const auto text = fullItem().encoded();
    ASSERT_TRUE(text);
    EXPECT_EQ(OutboxItem::decode(*text), fullItem());
}

TEST(OutboxItemCoding, TheSkippingReaderGivesEveryFieldButTheRequest) {
    const OutboxItem item = fullItem();
    const auto compact = item.encoded();
    ASSERT_TRUE(compact);
    EXPECT_EQ(OutboxItem::decodeSkippingRequest(*compact), withoutRequest(item));

    const auto spaced = item.toJson()->dump(4);
    EXPECT_EQ(OutboxItem::decodeSkippingRequest(spaced), withoutRequest(item));

    // Escaped key names and members in another order are read as the full decoder reads them.
    const std::string reordered =
        R"({"owner":"u","lo\u0067Title":"t","request":{"content":"x","tags":[]},"createdAt":1,)"
        R"("logDestination":"stash","idempotencyKey":"k","id":"i"})";
    const auto full = OutboxItem::decode(reordered);
    ASSERT_TRUE(full);
    EXPECT_EQ(OutboxItem::decodeSkippingRequest(reordered), withoutRequest(*full));
}

TEST(OutboxItemCoding, TheSkippingReaderRefusesWhatIsNotACompleteItem) {
    const auto text = fullItem().encoded();
    ASSERT_TRUE(text);
    // Every truncation, as an interrupted write would leave it.
    for (std::size_t length = 0; length < text->size(); ++length) {
        const std::string_view cut(text->data(), length);
        EXPECT_FALSE(OutboxItem::decodeSkippingRequest(cut)) << "length " << length;
        EXPECT_FALSE(OutboxItem::decode(cut)) << "length " << length;
    }
    const std::string rest = R"("idempotencyKey":"k","logDestination":"stash","logTitle":"t",)"
                             R"("createdAt":1})";
    for (const std::string& broken : {
             R"({"id":"i",)" + rest,                                     // no request
             R"({"id":"i","request":null,)" + rest,                      // request null
             R"({"id":"i","request":["content"],)" + rest,               // not an object
             R"({"id":"i","request":{"content":"x","tags":[}},)" + rest, // brackets crossed
             R"({"id":"i","request":{"content":"x\"},)" + rest,          // string never ends
             R"({"id":"i","request":{},"attempts":"3",)" + rest, // attempts of the wrong type
             std::string(R"({"id":"i","request":{},"idempotencyKey":"k","logDestination":"moon",)"
                         R"("logTitle":"t","createdAt":1})"),
             R"({"id":"i","request":{},)" + rest + " x", // trailing garbage
             std::string(R"({"id":"i","request":{}})"),  // fields missing
         }) {
        EXPECT_FALSE(OutboxItem::decodeSkippingRequest(broken)) << broken;
    }
}

TEST(OutboxItemCoding, AttemptCountsBeyondTheRangeAreHeldAtItsEnds) {
    const std::string rest = R"({"id":"i","request":{},"idempotencyKey":"k",)"
                             R"("logDestination":"stash","logTitle":"t","createdAt":1,"attempts":)";
    constexpr std::int64_t most = std::numeric_limits<std::int64_t>::max();
    for (const auto& [stored, read] :
         std::vector<std::pair<std::string, std::int64_t>>{{"9223372036854775807", most},
                                                           {"18446744073709551615", most},
                                                           {"1e300", most},
                                                           {"-4", 0},
                                                           {"12.0", 12}}) {
        const auto item = OutboxItem::decodeSkippingRequest(rest + stored + "}");
        ASSERT_TRUE(item) << stored;
        EXPECT_EQ(item->attempts, read) << stored;
    }
    EXPECT_FALSE(OutboxItem::decodeSkippingRequest(rest + "2.5}"));
}

TEST(OutboxItemCoding, IDsThatCouldLeaveTheFolderAreUnsafe) {
    EXPECT_TRUE(OutboxItem::isSafeID("0F5B1D52-3D7E-4A44-9C1E-5F1C2B8A9D01"));
    EXPECT_TRUE(OutboxItem::isSafeID("a.b"));
    for (const std::string_view id :
         {""sv, ".."sv, "../x"sv, "a/b"sv, "a..b"sv, "/etc/passwd"sv, "a\0b"sv}) {
        EXPECT_FALSE(OutboxItem::isSafeID(id)) << id;
    }
}

TEST(IdempotencyKeyTest, SelectionKeysHashTheTextAndChangeWithTheBucket) {
    const std::string abc = "selection-ba7816bf8f01cfea414140de5dae2223-";
    const Date epoch{};
    EXPECT_EQ(IdempotencyKey::selection("abc", epoch + 10min + 999ms, 600), abc + "1");
    EXPECT_EQ(IdempotencyKey::selection("abc", epoch + 19min + 59s, 600), abc + "1");
    EXPECT_EQ(IdempotencyKey::selection("abc", epoch + 20min, 600), abc + "2");
    EXPECT_NE(IdempotencyKey::selection("abd", epoch + 19min, 600), abc + "1");
    // UTF-8 bytes are hashed: SHA-256 of "é" (c3 a9).
    EXPECT_EQ(IdempotencyKey::selection("\u00e9", epoch, 600),
              "selection-4a99557e4033c3539de2eb65472017ca-0");
    // Before 1970 the bucket is truncated toward zero, not floored.
    EXPECT_EQ(IdempotencyKey::selection("abc", epoch - 599s, 600), abc + "0");
    EXPECT_EQ(IdempotencyKey::selection("abc", epoch - 600s, 600), abc + "-1");
    EXPECT_EQ(IdempotencyKey::selection("abc", epoch + 5s, 0), abc + "5");
}
