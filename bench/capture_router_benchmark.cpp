// Routes a realistic mix of captures (explicit surfaces, tags, contact cards, phrase cues, every
// kind of suggestion, long page texts) and reports routes per second and heap allocations per
// route. Allocations are counted by replacing the global operator new in this program.

#include <capturekit/routing/capture_router.hpp>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

std::atomic<std::size_t> allocationCount{0};

void* allocate(std::size_t size, std::size_t alignment) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    void* block = nullptr;
    if (alignment <= alignof(std::max_align_t)) {
        block = std::malloc(size == 0 ? 1 : size);
    } else if (posix_memalign(&block, alignment, size == 0 ? alignment : size) != 0) {
        block = nullptr;
    }
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

} // namespace

void* operator new(std::size_t size) {
    return allocate(size, alignof(std::max_align_t));
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocate(size, static_cast<std::size_t>(alignment));
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}

namespace {

using namespace capturekit;

struct Capture {
    CaptureItem item;
    std::optional<Suggestion> suggestion;
};

CaptureItem item(std::string text, std::vector<std::string> tags = {},
                 CaptureSurface surface = CaptureSurface::universalShare) {
    return CaptureItem{.text = std::move(text), .surface = surface, .tags = std::move(tags)};
}

Suggestion suggestion(Destination destination, double confidence,
                      std::optional<std::string> reason = std::nullopt) {
    Suggestion suggested;
    suggested.destination = destination;
    suggested.confidence = confidence;
    suggested.reason = std::move(reason);
    suggested.personMatch = PersonMatch{"p-42", "Ada Lovelace", 0.8};
    return suggested;
}

// About ten kilobytes of ordinary page text that holds none of the phrase cues.
std::string longPageText() {
    const std::string paragraph =
        "The market opens early on Saturdays, and the bakery at the corner sells out of rye "
        "before nine. Bring a bag, some change, and patience for the queue at the cheese stall.\n";
    std::string text;
    while (text.size() < 10000) {
        text += paragraph;
    }
    return text;
}

std::vector<Capture> explicitCaptures() {
    return {
        {item("Buy stamps", {}, CaptureSurface::quickTaskWidget), std::nullopt},
        {item("A quiet morning by the lake", {}, CaptureSurface::reflectIntent),
         suggestion(Destination::bloom, 0.9)},
        {item("Met Sam at the conference", {}, CaptureSurface::rapportNoteIntent),
         suggestion(Destination::rapport, 0.8)},
    };
}

std::vector<Capture> taggedCaptures() {
    return {
        {item("Dune, the first one", {"reading", "Cabinet"}), std::nullopt},
        {item("Call the plumber", {"home", "urgent", "docket"}),
         suggestion(Destination::docket, 0.7)},
        {item("Heart rate after the run", {"pulse", "docket"}), std::nullopt},
        {item("Some notes", {"misc", "later", "ideas"}), std::nullopt},
    };
}

std::vector<Capture> cardCaptures() {
    CaptureItem card = item("Jane Doe, Acme Plumbing");
    card.contact = ContactCard{.name = "Jane Doe",
                               .organization = "Acme Plumbing",
                               .phones = {{.label = "work", .value = "+1 555 0100"}}};
    return {{card, std::nullopt}, {card, suggestion(Destination::rapport, 0.9)}};
}

std::vector<Capture> cueCaptures() {
    return {
        {item("Remind me to water the plants on Friday"), std::nullopt},
        {item("Note that Sam prefers green tea"), suggestion(Destination::rapport, 0.7)},
        {item("About Priya: note that she moved to Lisbon"), std::nullopt},
        {item("Today I felt calmer than I have in weeks"), std::nullopt},
        {item("TODO renew the passport"), std::nullopt},
        {item("bookmark https://example.com/a-long-read"), std::nullopt},
    };
}

std::vector<Capture> suggestedCaptures() {
    const std::string text = "Thinking about the week ahead and what matters most";
    return {
        {item(text), suggestion(Destination::docket, 0.85, "Looks like a task")},
        {item(text), suggestion(Destination::cabinet, 0.75)},
        {item(text), suggestion(Destination::trove, 0.95)},
        {item(text), suggestion(Destination::pulse, 0.9)},
        {item(text), suggestion(Destination::bloom, 0.9)},
        {item(text), suggestion(Destination::hearth, 0.4)},
        {item(text), std::nullopt},
    };
}

std::vector<Capture> longCaptures() {
    const std::string page = longPageText();
    return {
        {item(page), std::nullopt},
        {item(page), suggestion(Destination::cabinet, 0.8, "Saved article")},
        {item(page + "Remind me to buy rye."), std::nullopt},
    };
}

std::vector<Capture> mixedCaptures() {
    std::vector<Capture> all;
    for (auto* family : {&explicitCaptures, &taggedCaptures, &cardCaptures, &cueCaptures,
                         &suggestedCaptures, &longCaptures}) {
        for (Capture& capture : (*family)()) {
            all.push_back(std::move(capture));
        }
    }
    return all;
}

void routeAll(benchmark::State& state, const std::vector<Capture>& captures) {
    std::size_t routes = 0;
    const std::size_t allocationsBefore = allocationCount.load(std::memory_order_relaxed);
    for (auto _ : state) {
        for (const Capture& capture : captures) {
            RouteDecision decision = CaptureRouter::route(capture.item, capture.suggestion);
            benchmark::DoNotOptimize(decision);
        }
        routes += captures.size();
    }
    const std::size_t allocations =
        allocationCount.load(std::memory_order_relaxed) - allocationsBefore;
    state.SetItemsProcessed(static_cast<std::int64_t>(routes));
    state.counters["routes_per_second"] =
        benchmark::Counter(static_cast<double>(routes), benchmark::Counter::kIsRate);
    state.counters["allocations_per_route"] =
        benchmark::Counter(routes == 0 ? 0.0 : static_cast<double>(allocations) / routes);
}

} // namespace

int main(int argc, char** argv) {
    const std::pair<const char*, std::vector<Capture> (*)()> families[] = {
        {"route/mix", &mixedCaptures},       {"route/explicit_surface", &explicitCaptures},
        {"route/tags", &taggedCaptures},     {"route/contact_cards", &cardCaptures},
        {"route/phrase_cues", &cueCaptures}, {"route/suggestions", &suggestedCaptures},
        {"route/long_texts", &longCaptures},
    };
    for (const auto& [name, make] : families) {
        benchmark::RegisterBenchmark(
            name, [captures = make()](benchmark::State& state) { routeAll(state, captures); });
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
