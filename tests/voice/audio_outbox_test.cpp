#include "support/account_sandbox.hpp"

#include <capturekit/voice/audio_outbox.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>

using namespace capturekit;
using namespace tarvo::test;
namespace fs = std::filesystem;
using std::chrono::seconds;

namespace {

const Date start = dates::referenceDate + std::chrono::hours{24 * 9000};

class AudioOutboxTest : public ::testing::Test {
protected:
    PendingRecording recording(std::string owner = "xctest-user") const {
        return PendingRecording{.id = AudioOutbox::newRecordingID(),
                                .createdAt = start,
                                .duration = 12.5,
                                .owner = std::move(owner)};
    }

    static void writeFile(const fs::path& file, std::string_view contents) {
        std::ofstream(file, std::ios::binary) << contents;
    }

    static std::vector<std::string> ids(const std::vector<PendingRecording>& recordings) {
        std::vector<std::string> out;
        for (const auto& recording : recordings) {
            out.push_back(recording.id);
        }
        return out;
    }

    AccountSandbox sandbox;
};

} // namespace

TEST(PendingRecordingTest, StoredFormKeepsFieldOrderLeavesOutAbsentValuesAndReadsBack) {
    const PendingRecording full{.id = "A",
                                .createdAt = dates::referenceDate + seconds{10},
                                .duration = 2.5,
                                .transcript = "hello",
                                .transcribedBy = TranscriptionEngine::onDeviceThenCloud,
                                .savedAt = dates::referenceDate + seconds{20},
                                .owner = "u-1"};
    EXPECT_EQ(full.storedForm(),
              R"({"id":"A","createdAt":10.0,"duration":2.5,"transcript":"hello",)"
              R"("transcribedBy":"onDeviceThenCloud","savedAt":20.0,"owner":"u-1"})");

    const PendingRecording bare{.id = "B", .createdAt = dates::referenceDate, .duration = 1};
    EXPECT_EQ(bare.storedForm(), R"({"id":"B","createdAt":0.0,"duration":1.0})");
    EXPECT_EQ(PendingRecording::fromStoredForm(R"({"id":"B","createdAt":0,"duration":1,)"
                                               R"("transcript":null,"savedAt":null})"),
              bare);

    PendingRecording broken = bare;
    broken.duration = std::numeric_limits<double>::infinity();
    EXPECT_EQ(broken.storedForm(), std::nullopt);

    // Only a transcript with text counts.
    EXPECT_TRUE(full.isTranscribed());
    EXPECT_FALSE(bare.isTranscribed());
    EXPECT_FALSE(PendingRecording{.transcript = " \n\t"}.isTranscribed());
}

TEST(PendingRecordingTest, RecordsWithMissingOrMistypedFieldsDoNotDecode) {
    for (const std::string_view text : {
             R"({"createdAt":0,"duration":1})",
             R"({"id":"B","duration":1})",
             R"({"id":"B","createdAt":"0","duration":1})",
             R"({"id":"B","createdAt":0,"duration":1,"transcribedBy":"siri"})",
             R"({"id":"B","createdAt":0,"duration":1,"owner":7})",
             R"({"id":"B","createdAt":1e300,"duration":1})",
             R"(["B"])",
         }) {
        EXPECT_EQ(PendingRecording::fromStoredForm(text), std::nullopt) << text;
    }
}

TEST_F(AudioOutboxTest, ARecordIsAPrivateFileKeepingItsTranscriptSendingAndSize) {
    const auto folder = AudioOutbox::directory();
    ASSERT_TRUE(folder);
    EXPECT_TRUE(AudioOutbox::usingSharedContainer());
    EXPECT_EQ(*folder, *CaptureConfig::appGroupContainer() / "Recordings");
    EXPECT_EQ(fileMode(*folder), 0700U);

    const auto made = recording();
    ASSERT_TRUE(AudioOutbox::save(made));
    const fs::path record = *folder / (made.id + ".json");
    EXPECT_EQ(fileMode(record), 0600U);
    EXPECT_EQ(AudioOutbox::load(made.id), made);
    EXPECT_EQ(AudioOutbox::audioURL(made.id), *folder / (made.id + ".m4a"));
    EXPECT_FALSE(AudioOutbox::hasAudio(made.id));
    writeFile(*AudioOutbox::audioURL(made.id), std::string(5000, 'a'));
    EXPECT_TRUE(AudioOutbox::hasAudio(made.id));
    EXPECT_EQ(AudioOutbox::totalBytes(), 5000 + fs::file_size(record));

    EXPECT_TRUE(AudioOutbox::attachTranscript("call mum", TranscriptionEngine::cloud, made.id));
    EXPECT_TRUE(AudioOutbox::markSaved(made.id, start + seconds{5}));
    const auto loaded = AudioOutbox::load(made.id);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->transcript, "call mum");
    EXPECT_EQ(loaded->transcribedBy, TranscriptionEngine::cloud);
    EXPECT_EQ(loaded->savedAt, start + seconds{5});
    EXPECT_FALSE(AudioOutbox::markSaved("F00", start));
    EXPECT_FALSE(AudioOutbox::load("F00"));
}

TEST_F(AudioOutboxTest, ListingsHoldOnlyTheOwnersReadableUnsentRecordsAndLeaveTheRestAlone) {
    const auto mine = recording();
    const auto sent = recording();
    const auto theirs = recording("someone-else");
    auto ownerless = recording();
    ownerless.owner.reset();
    for (const auto& each : {mine, sent, theirs, ownerless}) {
        ASSERT_TRUE(AudioOutbox::save(each));
    }
    AudioOutbox::markSaved(sent.id, start);
    const fs::path folder = *AudioOutbox::directory();
    writeFile(folder / "BROKEN.json", "{not json");
    // A record under another id's name would make removal hit the wrong files.
    writeFile(folder / "OTHER.json", *recording().storedForm());
    fs::create_directory(folder / "DIR.json");
    writeFile(folder / "notes.txt", "x");

    EXPECT_EQ(AudioOutbox::currentOwner(), "xctest-user");
    EXPECT_EQ(ids(AudioOutbox::unsaved()), std::vector{mine.id});
    EXPECT_EQ(ids(AudioOutbox::unsaved("someone-else")), std::vector{theirs.id});
    EXPECT_TRUE(AudioOutbox::unsaved(std::nullopt).empty());
    EXPECT_EQ(AudioOutbox::all().size(), 4U);
    EXPECT_EQ(AudioOutbox::load("BROKEN"), std::nullopt);
    EXPECT_EQ(AudioOutbox::load("OTHER"), std::nullopt);
    EXPECT_EQ(AudioOutbox::prune(AudioRetention::off, start), 1U);
    EXPECT_TRUE(fs::exists(folder / "BROKEN.json"));
    EXPECT_TRUE(fs::exists(folder / "OTHER.json"));
}

TEST_F(AudioOutboxTest, IdsThatCouldLeaveTheFolderAreRefused) {
    const fs::path outside = AudioOutbox::directory()->parent_path() / "escaped.json";
    auto sneaky = recording();
    for (const std::string id : {"../escaped", "a/b", "..", ".", ""}) {
        sneaky.id = id;
        EXPECT_FALSE(AudioOutbox::save(sneaky)) << id;
        EXPECT_EQ(AudioOutbox::audioURL(id), std::nullopt) << id;
        EXPECT_FALSE(AudioOutbox::hasAudio(id)) << id;
    }
    EXPECT_FALSE(fs::exists(outside));

    writeFile(outside, "keep me");
    EXPECT_EQ(AudioOutbox::load("../escaped"), std::nullopt);
    AudioOutbox::remove("../escaped");
    EXPECT_TRUE(fs::exists(outside));
}

TEST_F(AudioOutboxTest, PruningFollowsEachRetentionAndNeverTakesUnsentRecordings) {
    const auto unsent = recording();
    auto sent = recording();
    sent.savedAt = start;
    const Date sevenDaysLater = start + seconds{604'800};
    const Date thirtyDaysLater = start + seconds{2'592'000};

    EXPECT_TRUE(AudioOutbox::shouldPrune(sent, AudioRetention::off, start));
    EXPECT_FALSE(
        AudioOutbox::shouldPrune(sent, AudioRetention::sevenDays, sevenDaysLater - seconds{1}));
    EXPECT_TRUE(AudioOutbox::shouldPrune(sent, AudioRetention::sevenDays, sevenDaysLater));
    EXPECT_FALSE(AudioOutbox::shouldPrune(sent, AudioRetention::thirtyDays, sevenDaysLater));
    EXPECT_TRUE(AudioOutbox::shouldPrune(sent, AudioRetention::thirtyDays, thirtyDaysLater));
    EXPECT_FALSE(AudioOutbox::shouldPrune(sent, AudioRetention::keep,
                                          thirtyDaysLater + std::chrono::hours{24 * 3650}));
    for (const auto retention : allCases<AudioRetention>()) {
        EXPECT_FALSE(AudioOutbox::shouldPrune(unsent, retention, thirtyDaysLater));
    }

    ASSERT_TRUE(AudioOutbox::save(unsent));
    ASSERT_TRUE(AudioOutbox::save(sent));
    writeFile(*AudioOutbox::audioURL(sent.id), "audio");
    EXPECT_EQ(AudioOutbox::prune(AudioRetention::keep, thirtyDaysLater), 0U);
    // Pruning removes a recording's audio and record together.
    EXPECT_EQ(AudioOutbox::prune(AudioRetention::off, start), 1U);
    EXPECT_FALSE(AudioOutbox::hasAudio(sent.id));
    AudioOutbox::remove(sent.id); // already gone
    EXPECT_EQ(ids(AudioOutbox::all()), std::vector{unsent.id});
}

TEST(AudioOutboxLabels, SizesInKilobytesAndMegabytesAndDurationsInMinutes) {
    EXPECT_EQ(AudioOutbox::sizeLabel(1499), "1 KB");
    EXPECT_EQ(AudioOutbox::sizeLabel(1500), "2 KB");
    EXPECT_EQ(AudioOutbox::sizeLabel(999'499), "999 KB");
    EXPECT_EQ(AudioOutbox::sizeLabel(999'500), "1 MB");
    EXPECT_EQ(AudioOutbox::sizeLabel(2'460'000), "2.5 MB");
    EXPECT_EQ(AudioOutbox::sizeLabel(123'456'789'012), "123456.8 MB");
    EXPECT_EQ(AudioOutbox::sizeLabel(-5), "0 KB");
    EXPECT_EQ(AudioOutbox::durationLabel({.duration = 12.5}), "0:12");
}
