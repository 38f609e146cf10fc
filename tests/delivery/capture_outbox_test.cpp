#include "support/account_sandbox.hpp"
#include "support/fixed_token.hpp"
#include "support/recording_sleeper.hpp"
#include "support/scripted_transport.hpp"

#include <capturekit/account/capture_config.hpp>
#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/delivery/idempotency_key.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/platform/atomic_file.hpp>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <deque>
#include <limits>
#include <set>
#include <thread>

using namespace capturekit;
using namespace std::chrono_literals;
using namespace std::string_view_literals;
using namespace tarvo::test;
namespace fs = std::filesystem;

namespace {

using Reply = ScriptedTransport::Reply;

const std::string owner(SharedState::testRunnerOwner);

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

struct OutboxFixture : testing::Test {
    AccountSandbox sandbox;
    fs::path folder = sandbox.folder() / "outbox";
    const Date t0 = dates::now() - 1h;

    // Replies in order; once they run out, every send is filed.
    std::deque<Reply> replies;
    std::function<void(const HttpRequest&)> duringSend;
    ScriptedTransport transport{[this](const HttpRequest& request, std::stop_token stop) -> Reply {
        if (stop.stop_requested()) {
            return ScriptedTransport::refused("cancelled", HttpError::Kind::cancelled);
        }
        if (duringSend) {
            duringSend(request);
        }
        if (replies.empty()) {
            return ScriptedTransport::reply(
                200, R"({"id":"entry-1","status":"filed","category":"games"})");
        }
        Reply reply = replies.front();
        replies.pop_front();
        return reply;
    }};
    RecordingSleeper sleeper;
    FixedToken token{"device-token"};
    CaptureClient client{token, transport, sleeper};

    void SetUp() override {
        fs::create_directory(folder);
        CaptureOutbox::setDirectoryOverride(folder);
    }
    void TearDown() override { CaptureOutbox::setDirectoryOverride(std::nullopt); }

    static OutboxItem item(const std::string& title, Date createdAt,
                           std::optional<std::string> itemOwner = owner) {
        return OutboxItem::make(CaptureIngestRequest{{.content = "content of " + title}},
                                "key-" + title, Destination::docket, title, createdAt,
                                std::move(itemOwner));
    }

    fs::path fileOf(const OutboxItem& queued) const { return folder / (queued.id + ".json"); }

    // The item as its file holds it now; an empty item when it cannot be read.
    OutboxItem onDisk(const OutboxItem& queued) const {
        return OutboxItem::decode(atomic_file::read(fileOf(queued)).value_or(""))
            .value_or(OutboxItem{});
    }

    static std::vector<std::string> pendingTitles() {
        std::vector<std::string> titles;
        for (const auto& pendingItem : CaptureOutbox::pending()) {
            titles.push_back(pendingItem.logTitle);
        }
        return titles;
    }

    std::size_t entriesInFolder() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }
};

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
    EXPECT_EQ(OutboxItem::decodeSkippingRequest(item.encoded().value_or("")), withoutRequest(item));

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
    const std::pair<std::string, std::int64_t> cases[] = {{"9223372036854775807", most},
                                                          {"18446744073709551615", most},
                                                          {"1e300", most},
                                                          {"-4", 0},
                                                          {"12.0", 12}};
    for (const auto& [stored, read] : cases) {
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

TEST_F(OutboxFixture, EnqueueWritesAPrivateFileIntoThePrivateOutboxOfTheAppGroupContainer) {
    CaptureOutbox::setDirectoryOverride(std::nullopt);
    const fs::path expected =
        fs::path(std::getenv("XDG_DATA_HOME")) / CaptureConfig::appGroupID() / "Outbox";
    EXPECT_EQ(CaptureOutbox::directory(), expected);
    EXPECT_EQ(fileMode(expected), 0700u);
    EXPECT_EQ(fileMode(expected.parent_path()), 0700u);
    fs::permissions(expected,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);

    const CaptureIngestRequest request{{.destination = Destination::cabinet,
                                        .category = CabinetCategory::games,
                                        .content = "Outer Wilds",
                                        .tags = {"desktop"}}};
    const Date before = dates::now();
    ASSERT_TRUE(CaptureOutbox::enqueue(request, "key-1", Destination::cabinet, "Outer Wilds"));
    EXPECT_EQ(fileMode(expected), 0700u);
    const auto items = CaptureOutbox::pending();
    ASSERT_EQ(items.size(), 1u);
    const OutboxItem& queued = items.front();
    EXPECT_EQ(queued.request, request);
    EXPECT_EQ(queued.idempotencyKey, "key-1");
    EXPECT_EQ(queued.owner, owner);
    EXPECT_GE(queued.createdAt, before);
    EXPECT_FALSE(queued.attempts);
    EXPECT_EQ(fileMode(expected / (queued.id + ".json")), 0600u);
}

TEST_F(OutboxFixture, EnqueueSaysFalseWhenTheItemIsNotOnDisk) {
    OutboxItem escaping = item("escaping", t0);
    escaping.id = "../escaped";
    EXPECT_FALSE(CaptureOutbox::enqueue(escaping));
    escaping.id = "a/b";
    EXPECT_FALSE(CaptureOutbox::enqueue(escaping));
    EXPECT_FALSE(fs::exists(sandbox.folder() / "escaped.json"));

    CaptureIngestRequest unencodable{{.content = "voice memo"}};
    unencodable.audioDurationSeconds = std::nan("");
    EXPECT_FALSE(CaptureOutbox::enqueue(unencodable, "k", Destination::stash, "memo"));

    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(folder.c_str(), W_OK) != 0) { // root writes anyway
        EXPECT_FALSE(CaptureOutbox::enqueue(item("read-only", t0)));
    }
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(entriesInFolder(), 0u);
}

TEST_F(OutboxFixture, ListingsHoldTheOwnersAndOwnerlessItemsOldestFirstAndTheNewest200) {
    ASSERT_TRUE(CaptureOutbox::enqueue(item("someone else", t0 - 1h, "another-user")));
    ASSERT_TRUE(CaptureOutbox::enqueue(item("device", t0 + 1s, std::nullopt)));
    // Equal times keep the order of the file names.
    OutboxItem second = item("second", t0);
    second.id = "FFFFFFFF-0000-4000-8000-000000000000";
    OutboxItem first = item("first", t0);
    first.id = "00000000-0000-4000-8000-000000000000";
    ASSERT_TRUE(CaptureOutbox::enqueue(second));
    ASSERT_TRUE(CaptureOutbox::enqueue(first));
    EXPECT_EQ(pendingTitles(), (std::vector<std::string>{"first", "second", "device"}));

    for (int i = 0; i < 198; ++i) {
        ASSERT_TRUE(CaptureOutbox::enqueue(item(std::to_string(i), t0 + 2s + 1s * i)));
    }
    const auto titles = pendingTitles();
    ASSERT_EQ(titles.size(), 200u);
    EXPECT_EQ(titles.front(), "second");
    EXPECT_EQ(titles.back(), "197");
    EXPECT_EQ(entriesInFolder(), 201u); // another owner's items are not counted or pushed out
}

TEST_F(OutboxFixture, ForeignFilesAreIgnoredAndOnlyAbandonedTemporariesRemoved) {
    const OutboxItem good = item("good", t0);
    ASSERT_TRUE(CaptureOutbox::enqueue(good));
    OutboxItem unsafe = item("unsafe", t0);
    unsafe.id = "../x";
    const fs::path corrupt = folder / "corrupt.json";
    const fs::path other = folder / "notes.txt";
    const fs::path unsafeFile = folder / "unsafe.json";
    const fs::path freshTemporary = folder / ("." + good.id + ".json.Ab12Cd");
    const fs::path oldTemporary = folder / ".0F5B1D52.json.Zz99Yy";
    // A FIFO would block the reader for good.
    ASSERT_EQ(::mkfifo((folder / "fifo.json").c_str(), 0600), 0);
    ASSERT_TRUE(atomic_file::write(corrupt, "{\"id\": \"half"));
    ASSERT_TRUE(atomic_file::write(other, *good.encoded()));
    ASSERT_TRUE(atomic_file::write(unsafeFile, *unsafe.encoded()));
    ASSERT_TRUE(atomic_file::write(freshTemporary, *good.encoded()));
    ASSERT_TRUE(atomic_file::write(oldTemporary, "{\"id\""));
    fs::last_write_time(oldTemporary, fs::file_time_type::clock::now() - 2min);

    EXPECT_EQ(pendingTitles(), std::vector<std::string>{"good"});
    EXPECT_EQ(CaptureOutbox::pendingCount(), 1u);
    // A fresh temporary may be a write still running elsewhere.
    for (const fs::path& kept : {corrupt, other, unsafeFile, freshTemporary}) {
        EXPECT_TRUE(fs::exists(kept)) << kept;
    }
    EXPECT_FALSE(fs::exists(oldTemporary));
}

TEST_F(OutboxFixture, TheSummaryNamesTheNewestErrorAndTheOldestItem) {
    EXPECT_FALSE(CaptureOutbox::summary());

    OutboxItem older = item("older", t0);
    older.lastError = CaptureOutbox::reason(500);
    older.attempts = 3;
    ASSERT_TRUE(CaptureOutbox::enqueue(older));
    ASSERT_TRUE(CaptureOutbox::enqueue(item("newer", t0 + 1min)));
    const Date oldest = onDisk(older).createdAt;
    EXPECT_EQ(CaptureOutbox::summary(), (CaptureOutbox::Summary{oldest, "server 500", 3}));

    OutboxItem middle = item("middle", t0 + 30s);
    middle.lastError = CaptureOutbox::reason(429);
    ASSERT_TRUE(CaptureOutbox::enqueue(middle));
    EXPECT_EQ(CaptureOutbox::summary(), (CaptureOutbox::Summary{oldest, "rate limited (429)", 0}));
}

TEST_F(OutboxFixture, TheLegacyListMovesIntoFilesAndStaysUntilEveryItemIsWritten) {
    const Preferences store = CaptureConfig::appGroupPreferences();
    const OutboxItem first = item("first", t0);
    OutboxItem unsafe = item("unsafe", t0 + 1s);
    unsafe.id = "nested/item";
    const std::string withUnsafe = "[" + *first.encoded() + "," + *unsafe.encoded() + "]";
    ASSERT_TRUE(store.set(CaptureOutbox::legacyPreferencesKey, withUnsafe));
    EXPECT_EQ(pendingTitles(), std::vector<std::string>{"first"});
    EXPECT_TRUE(store.value(CaptureOutbox::legacyPreferencesKey));
    EXPECT_EQ(entriesInFolder(), 1u);

    // Stored as bytes, with an element that cannot be decoded at all: the good ones move and
    // the key goes.
    const OutboxItem second = item("second", t0 + 2s);
    const std::string list = "[" + *second.encoded() + ",{\"id\":7}]";
    ASSERT_TRUE(
        store.set(CaptureOutbox::legacyPreferencesKey, PreferenceBytes(list.begin(), list.end())));
    EXPECT_EQ(pendingTitles(), (std::vector<std::string>{"first", "second"}));
    EXPECT_FALSE(store.value(CaptureOutbox::legacyPreferencesKey));
    EXPECT_EQ(onDisk(second), second);

    for (const std::string junk : {"not json", "[]", "{\"id\":\"x\"}"}) {
        ASSERT_TRUE(store.set(CaptureOutbox::legacyPreferencesKey, junk));
        EXPECT_EQ(CaptureOutbox::pendingCount(), 2u);
        EXPECT_FALSE(store.value(CaptureOutbox::legacyPreferencesKey)) << junk;
    }
}

// Delivery in order under the stored keys is also tested over real HTTP, and so is the deadline
// test's pass, which leaves the newer item.
TEST_F(OutboxFixture, FlushDeliversOnlyTheOwnersItemsAndLogsEachDeliveryAsQueued) {
    OutboxItem mine = item("mine", t0);
    mine.logDestination = Destination::cabinet;
    ASSERT_TRUE(CaptureOutbox::enqueue(mine));
    ASSERT_TRUE(CaptureOutbox::enqueue(item("not mine", t0, "another-user")));

    EXPECT_EQ(CaptureOutbox::flush(client, false, std::nullopt), 1);
    ASSERT_EQ(transport.requests().size(), 1u);
    EXPECT_EQ(transport.requests()[0].headers.back().second, "key-mine");
    EXPECT_EQ(entriesInFolder(), 2u); // the other owner's item and the flush lock
    const auto recents = SharedState::recent();
    ASSERT_EQ(recents.size(), 1u);
    EXPECT_EQ(recents[0].title, "mine");
    EXPECT_EQ(recents[0].destination, Destination::cabinet);
    EXPECT_EQ(recents[0].category, "games");
}

// Refusals, statuses and stalls are tested against the dev backend; these failures have no reply.
TEST_F(OutboxFixture, FailuresWithoutAReplyAreRecordedWithTheErrorsCodeAndDescription) {
    const OutboxItem queued = item("queued", t0);
    ASSERT_TRUE(CaptureOutbox::enqueue(queued));
    const auto refused =
        ScriptedTransport::refused("Failed to connect to 127.0.0.1 port 9: Connection refused");
    replies = {refused, refused, refused};
    EXPECT_EQ(CaptureOutbox::flush(client, false, std::nullopt), 0);
    EXPECT_EQ(onDisk(queued).lastError,
              "0 Failed to connect to 127.0.0.1 port 9: Connection refused");
    EXPECT_EQ(onDisk(queued).attempts, 1);

    FixedToken blank(" \n");
    const CaptureClient withoutToken(blank, transport, sleeper);
    EXPECT_EQ(CaptureOutbox::flush(withoutToken, false, std::nullopt), 0);
    EXPECT_EQ(transport.requests().size(), 3u);
    OutboxItem worn = onDisk(queued);
    EXPECT_EQ(worn.lastError, "1 No capture token — add it in the tarvo app first.");
    EXPECT_EQ(worn.attempts, 2);

    // The count saturates rather than wrapping round to a negative count that un-stalls it.
    worn.attempts = std::numeric_limits<std::int64_t>::max();
    ASSERT_TRUE(CaptureOutbox::enqueue(worn));
    CaptureOutbox::flush(withoutToken, true, std::nullopt);
    EXPECT_EQ(onDisk(worn).attempts, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(CaptureOutbox::stalledCount(), 1u);
}

TEST_F(OutboxFixture, DeadlinesAndStopsEndThePassWithoutCountingAFailure) {
    ASSERT_TRUE(CaptureOutbox::enqueue(item("a", t0)));
    ASSERT_TRUE(CaptureOutbox::enqueue(item("b", t0 + 1s)));
    EXPECT_EQ(CaptureOutbox::flush(client, true, dates::now() - 1s), 0);
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_EQ(CaptureOutbox::flush(client, true, std::nullopt, stopped.get_token()), 0);
    EXPECT_TRUE(transport.requests().empty());

    // Stopped while the first item is on its way: the pass ends and the item keeps its record.
    std::stop_source source;
    duringSend = [&](const HttpRequest&) {
        source.request_stop();
    };
    replies = {ScriptedTransport::refused("cancelled")};
    EXPECT_EQ(CaptureOutbox::flush(client, false, std::nullopt, source.get_token()), 0);
    EXPECT_EQ(transport.requests().size(), 3u); // the first, then two turned away at once
    for (const auto& queued : CaptureOutbox::pending()) {
        EXPECT_FALSE(queued.attempts) << queued.logTitle;
    }

    // A deadline reached during the first send leaves the second for the next pass.
    duringSend = [](const HttpRequest&) {
        std::this_thread::sleep_for(30ms);
    };
    EXPECT_EQ(CaptureOutbox::flush(client, false, dates::now() + 20ms), 1);
    EXPECT_EQ(pendingTitles(), std::vector<std::string>{"b"});
}

TEST_F(OutboxFixture, AFailureIsWrittenOntoTheFileAsItIsNowAndNeverRevivesIt) {
    const OutboxItem changed = item("changed", t0);
    const OutboxItem removed = item("removed", t0 + 1s);
    ASSERT_TRUE(CaptureOutbox::enqueue(changed));
    ASSERT_TRUE(CaptureOutbox::enqueue(removed));
    duringSend = [&](const HttpRequest& request) {
        if (request.body.find("content of changed") != std::string::npos) {
            OutboxItem edited = changed;
            edited.attempts = 5;
            edited.logTitle = "edited meanwhile";
            ASSERT_TRUE(atomic_file::write(fileOf(changed), *edited.encoded()));
        } else {
            fs::remove(fileOf(removed));
        }
    };
    replies = {ScriptedTransport::reply(429), ScriptedTransport::reply(429)};
    EXPECT_EQ(CaptureOutbox::flush(client, false, std::nullopt), 0);
    EXPECT_EQ(onDisk(changed).logTitle, "edited meanwhile");
    EXPECT_EQ(onDisk(changed).attempts, 6);
    EXPECT_FALSE(fs::exists(fileOf(removed)));
}

TEST_F(OutboxFixture, OverlappingFlushesTakeTurnsAndSendEachItemOnce) {
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(CaptureOutbox::enqueue(item(std::to_string(i), t0 + std::chrono::seconds(i))));
    }
    ScriptedTransport slow([](const HttpRequest&, std::stop_token) -> Reply {
        std::this_thread::sleep_for(5ms);
        return ScriptedTransport::reply(200, "{}");
    });
    const CaptureClient slowClient(token, slow, sleeper);
    int first = 0;
    int second = 0;
    {
        std::jthread a([&] { first = CaptureOutbox::flush(slowClient, false, std::nullopt); });
        std::jthread b([&] { second = CaptureOutbox::flush(slowClient, false, std::nullopt); });
    }
    EXPECT_EQ(first + second, 12);
    std::set<std::string> keys;
    for (const auto& request : slow.requests()) {
        keys.insert(request.headers.back().second);
    }
    EXPECT_EQ(slow.requests().size(), 12u);
    EXPECT_EQ(keys.size(), 12u);
}
