#include <desktop/platform/x11/x11_frontmost_app.hpp>

#include <capturekit/platform/text.hpp>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

#include <unistd.h>

namespace tarvo::desktop {

namespace {

template <typename Reply> using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply> ReplyPointer<Reply> owned(Reply* reply) {
    return ReplyPointer<Reply>(reply, &std::free);
}

// Whether WM_CLIENT_MACHINE names this machine, where the window's process id means something.
bool isThisMachine(std::string_view machine) {
    while (machine.ends_with('\0')) {
        machine.remove_suffix(1);
    }
    char name[256] = {};
    return ::gethostname(name, sizeof(name) - 1) == 0 && machine == std::string_view(name);
}

std::string latin1ToUTF8(std::string_view bytes) {
    std::string text;
    for (const unsigned char byte : bytes) {
        capturekit::text::appendCodePoint(text, byte);
    }
    return text;
}

} // namespace

struct X11FrontmostApp::Connection {
    xcb_connection_t* xcb = nullptr;
    xcb_window_t root = 0;

    Connection() {
        int screenNumber = 0;
        xcb = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(xcb) != 0) {
            return;
        }
        auto screens = xcb_setup_roots_iterator(xcb_get_setup(xcb));
        for (int index = 0; index < screenNumber && screens.rem > 0; ++index) {
            xcb_screen_next(&screens);
        }
        root = screens.rem > 0 ? screens.data->root : 0;
    }
    ~Connection() { xcb_disconnect(xcb); }

    bool isUsable() const { return root != 0; }

    xcb_atom_t atom(std::string_view name) const {
        auto reply = owned(xcb_intern_atom_reply(
            xcb, xcb_intern_atom(xcb, 0, static_cast<std::uint16_t>(name.size()), name.data()),
            nullptr));
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    // The property's bytes; absent when the window or the property is missing.
    std::optional<std::string> property(xcb_window_t window, xcb_atom_t name,
                                        xcb_atom_t type) const {
        auto reply = owned(xcb_get_property_reply(
            xcb, xcb_get_property(xcb, 0, window, name, type, 0, 4096), nullptr));
        if (!reply || reply->type == xcb_atom_t{XCB_ATOM_NONE}) {
            return std::nullopt;
        }
        const auto* value = static_cast<const char*>(xcb_get_property_value(reply.get()));
        return std::string(value,
                           static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    }

    std::optional<std::uint32_t> cardinal(xcb_window_t window, xcb_atom_t name,
                                          xcb_atom_t type) const {
        const auto bytes = property(window, name, type);
        if (!bytes || bytes->size() < sizeof(std::uint32_t)) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        std::memcpy(&value, bytes->data(), sizeof(value));
        return value;
    }

    std::string title(xcb_window_t window) const {
        if (auto name = property(window, atom("_NET_WM_NAME"), atom("UTF8_STRING"))) {
            return capturekit::text::validUTF8(*name);
        }
        return latin1ToUTF8(property(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING).value_or(""));
    }
};

X11FrontmostApp::X11FrontmostApp() : connection_(std::make_unique<Connection>()) {}

X11FrontmostApp::~X11FrontmostApp() = default;

std::optional<ActiveWindow> X11FrontmostApp::active() const {
    std::lock_guard lock(mutex_);
    const Connection& x = *connection_;
    if (!x.isUsable()) {
        return std::nullopt;
    }
    const auto id = x.cardinal(x.root, x.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    if (!id || *id == 0) {
        return std::nullopt;
    }
    ActiveWindow window{.id = *id, .name = {}, .identifier = {}, .pid = 0, .title = x.title(*id)};
    // WM_CLASS holds the instance and the class, each ended by a NUL.
    const std::string wmClass = x.property(*id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).value_or("");
    const auto split = wmClass.find('\0');
    window.identifier = capturekit::text::validUTF8(wmClass.substr(0, split));
    if (split != std::string::npos) {
        const std::string rest = wmClass.substr(split + 1);
        window.name = capturekit::text::validUTF8(rest.substr(0, rest.find('\0')));
    }
    window.pid = x.cardinal(*id, x.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL).value_or(0);
    if (const auto machine = x.property(*id, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING);
        machine && !isThisMachine(*machine)) {
        window.pid = 0; // a program shown from another machine
    }
    return window;
}

std::optional<WindowBounds> X11FrontmostApp::bounds(const ActiveWindow& window) const {
    std::lock_guard lock(mutex_);
    const Connection& x = *connection_;
    if (!x.isUsable() || window.id == 0) {
        return std::nullopt;
    }
    const auto id = static_cast<xcb_window_t>(window.id);
    const auto size = owned(xcb_get_geometry_reply(x.xcb, xcb_get_geometry(x.xcb, id), nullptr));
    const auto place = owned(xcb_translate_coordinates_reply(
        x.xcb, xcb_translate_coordinates(x.xcb, id, x.root, 0, 0), nullptr));
    if (!size || !place) {
        return std::nullopt; // gone
    }
    return WindowBounds{place->dst_x, place->dst_y, size->width, size->height};
}

bool X11FrontmostApp::activate(const ActiveWindow& window) {
    std::lock_guard lock(mutex_);
    const Connection& x = *connection_;
    if (!x.isUsable() || window.id == 0) {
        return false;
    }
    const auto check = xcb_get_window_attributes(x.xcb, static_cast<xcb_window_t>(window.id));
    if (!owned(xcb_get_window_attributes_reply(x.xcb, check, nullptr))) {
        return false; // gone
    }
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = static_cast<xcb_window_t>(window.id);
    message.type = x.atom("_NET_ACTIVE_WINDOW");
    message.data.data32[0] = 2; // from a pager-like source: the window manager obeys at once
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(x.xcb, 0, x.root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(x.xcb);
    return true;
}

} // namespace tarvo::desktop
