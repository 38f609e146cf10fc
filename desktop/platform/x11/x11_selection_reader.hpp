#pragma once

// Reads an X selection (PRIMARY, CLIPBOARD) in one of the formats its owner offers, over the
// capture thread's private connection: the conversion request, the owner's answer, and transfers
// in parts (INCR) for large contents.

#include <desktop/platform/selected_text.hpp>
#include <desktop/platform/x11/x11_connection.hpp>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::desktop {

class X11SelectionReader {
public:
    // Contents larger than this are not read.
    static constexpr std::size_t maxBytes = maxSelectionBytes;

    struct Data {
        unsigned long type = 0;
        int format = 0;                   // 8, 16 or 32 bits per item
        std::string bytes;                // the items of 8 and 16 bits as sent
        std::vector<unsigned long> longs; // the items of 32 bits
    };

    explicit X11SelectionReader(X11Connection& connection) : connection_(connection) {}

    unsigned long owner(unsigned long selection);
    std::optional<Data> read(unsigned long selection, unsigned long target,
                             std::chrono::milliseconds timeout);
    // The formats the owner offers, as atoms.
    std::vector<unsigned long> targets(unsigned long selection, std::chrono::milliseconds timeout);
    // The selection as UTF-8 text, from UTF8_STRING or else the Latin-1 STRING.
    std::optional<std::string> text(unsigned long selection, std::chrono::milliseconds timeout);

private:
    std::optional<Data> takeProperty(unsigned long property);
    std::optional<Data> readIncrementally(unsigned long property, X11Connection::Deadline deadline,
                                          std::chrono::milliseconds timeout);

    X11Connection& connection_;
};

} // namespace tarvo::desktop
