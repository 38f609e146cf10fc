// Reads arbitrary bytes as a vCard. A card that comes out holds only valid UTF-8, and its summary,
// vendor and stored JSON can always be made and read back.

#include <capturekit/model/contact_card.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/text.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace capturekit;

namespace {

void requireValid(std::string_view value) {
    if (!text::isValidUTF8(value)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto card = ContactCard::parse(input);
    if (!card) {
        return 0;
    }
    requireValid(card->name);
    requireValid(card->organization.value_or(""));
    requireValid(card->jobTitle.value_or(""));
    requireValid(card->website.value_or(""));
    for (const auto* entries : {&card->phones, &card->emails}) {
        for (const ContactCard::Entry& entry : *entries) {
            requireValid(entry.value);
            requireValid(entry.label.value_or(""));
            if (entry.value.empty()) {
                std::abort();
            }
        }
    }
    requireValid(card->summary());
    (void)card->vendorPayload();
    const auto stored = json::parse(json::dump(card->toJson()));
    if (!stored || ContactCard::fromJson(*stored) != *card) {
        std::abort();
    }
    return 0;
}
