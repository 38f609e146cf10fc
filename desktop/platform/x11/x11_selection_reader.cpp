#include <desktop/platform/x11/x11_selection_reader.hpp>

#include <desktop/platform/latin1_text.hpp>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tarvo::desktop {

namespace {

constexpr const char* transferProperty = "TARVO_SELECTION";

} // namespace

unsigned long X11SelectionReader::owner(unsigned long selection) {
    Display* display = connection_.display();
    return display != nullptr ? XGetSelectionOwner(display, selection) : None;
}

std::optional<X11SelectionReader::Data> X11SelectionReader::takeProperty(unsigned long property) {
    Display* display = connection_.display();
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* items = nullptr;
    const int status =
        XGetWindowProperty(display, connection_.window(), property, 0, maxBytes / 4, True,
                           AnyPropertyType, &type, &format, &count, &remaining, &items);
    if (status != Success || type == None) {
        if (items != nullptr) {
            XFree(items);
        }
        return std::nullopt;
    }
    Data data;
    data.type = type;
    data.format = format;
    if (format == 32) {
        const auto* longs = reinterpret_cast<const unsigned long*>(items);
        data.longs.assign(longs, longs + count);
    } else if (items != nullptr) {
        data.bytes.assign(reinterpret_cast<const char*>(items), count * (format / 8));
    }
    if (items != nullptr) {
        XFree(items);
    }
    if (remaining > 0) {
        // Larger than we take: drop what is left so the owner is not kept waiting.
        XDeleteProperty(display, connection_.window(), property);
        return std::nullopt;
    }
    return data;
}

std::optional<X11SelectionReader::Data>
X11SelectionReader::read(unsigned long selection, unsigned long target,
                         std::chrono::milliseconds timeout) {
    Display* display = connection_.display();
    if (display == nullptr) {
        return std::nullopt;
    }
    const Atom property = connection_.atom(transferProperty);
    const Window window = connection_.window();
    XDeleteProperty(display, window, property);
    XConvertSelection(display, selection, target, property, window, CurrentTime);
    XFlush(display);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    XEvent event;
    const bool answered = connection_.waitFor(
        [&](const XEvent& candidate) {
            return candidate.type == SelectionNotify && candidate.xselection.requestor == window &&
                   candidate.xselection.selection == selection;
        },
        event, deadline);
    if (!answered || event.xselection.property == None) {
        return std::nullopt;
    }
    auto data = takeProperty(property);
    if (data && data->type == connection_.atom("INCR")) {
        return readIncrementally(property, deadline, timeout);
    }
    return data;
}

std::optional<X11SelectionReader::Data>
X11SelectionReader::readIncrementally(unsigned long property, X11Connection::Deadline deadline,
                                      std::chrono::milliseconds timeout) {
    // Taking the INCR property told the owner to start; each part arrives as a new value of the
    // property, and an empty part ends the transfer.
    Data whole;
    for (;;) {
        XEvent event;
        const bool arrived = connection_.waitFor(
            [&](const XEvent& candidate) {
                return candidate.type == PropertyNotify &&
                       candidate.xproperty.window == connection_.window() &&
                       candidate.xproperty.atom == property &&
                       candidate.xproperty.state == PropertyNewValue;
            },
            event, deadline);
        if (!arrived) {
            return std::nullopt;
        }
        auto part = takeProperty(property);
        if (!part) {
            return std::nullopt;
        }
        if (part->bytes.empty() && part->longs.empty()) {
            return whole;
        }
        if (whole.bytes.size() + part->bytes.size() > maxBytes) {
            return std::nullopt;
        }
        whole.type = part->type;
        whole.format = part->format;
        whole.bytes += part->bytes;
        whole.longs.insert(whole.longs.end(), part->longs.begin(), part->longs.end());
        deadline = std::chrono::steady_clock::now() + timeout;
    }
}

std::vector<unsigned long> X11SelectionReader::targets(unsigned long selection,
                                                       std::chrono::milliseconds timeout) {
    auto data = read(selection, connection_.atom("TARGETS"), timeout);
    if (!data || data->format != 32) {
        return {};
    }
    return data->longs;
}

std::optional<std::string> X11SelectionReader::text(unsigned long selection,
                                                    std::chrono::milliseconds timeout) {
    if (auto utf8 = read(selection, connection_.atom("UTF8_STRING"), timeout);
        utf8 && utf8->format == 8) {
        return std::move(utf8->bytes);
    }
    if (auto latin1 = read(selection, XA_STRING, timeout); latin1 && latin1->format == 8) {
        return latin1ToUTF8(latin1->bytes);
    }
    return std::nullopt;
}

} // namespace tarvo::desktop
