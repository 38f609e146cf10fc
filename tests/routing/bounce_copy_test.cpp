#include <capturekit/routing/bounce_copy.hpp>

#include <gtest/gtest.h>

using namespace capturekit;

// A hearth capture without a recipe and a route worded from the request are tested end to end with
// the engine.
TEST(BounceCopy, HearthBouncesExplainWhatWasMissing) {
    EXPECT_EQ(
        BounceCopy::message(Destination::hearth, Destination::stash, false, "vendor", false, false),
        "Saved to stash — hearth couldn’t file it as a vendor. Send it on from stash.");
    EXPECT_EQ(
        BounceCopy::message(Destination::hearth, Destination::stash, false, "vendor", false, true),
        "Saved to stash — hearth couldn’t take it.");
    EXPECT_EQ(BounceCopy::message(Destination::bloom, Destination::stash, false, std::nullopt,
                                  false, false),
              "Saved to stash — diary couldn’t take it.");

    CaptureIngestRequest emptyGroceries{{.content = "x"}};
    emptyGroceries.groceryItems = std::vector<GroceryItem>{};
    EXPECT_EQ(BounceCopy::message(Destination::hearth, Destination::stash, emptyGroceries),
              BounceCopy::noRecipe);
}

TEST(BounceCopy, RouteFailuresAndUnreleasedAppsSpeakFirst) {
    const CaptureIngestRequest request{{.content = "x"}};
    RouteOutcome failed{"docket", RouteOutcome::State::fromWire("failed"), " timeout \n", "E42"};
    EXPECT_EQ(BounceCopy::message(Destination::docket, Destination::stash, request, failed),
              "Saved to stash — docket hit an error (E42): timeout");
    failed.code.reset();
    failed.error = "  ";
    EXPECT_EQ(BounceCopy::message(Destination::docket, Destination::stash, request, failed),
              "Saved to stash — docket hit an error: unknown error");
    const RouteOutcome notLive{std::nullopt, RouteOutcome::State::fromWire("not_live"), {}, {}};
    EXPECT_EQ(BounceCopy::message(Destination::pulse, Destination::stash, request, notLive),
              "Saved to stash — pulse isn’t live yet.");
    const RouteOutcome written{"stash", RouteOutcome::State::fromWire("written"), {}, {}};
    EXPECT_EQ(BounceCopy::message(Destination::docket, Destination::stash, request, written),
              "Saved to stash — docket couldn’t take it.");
}
