#include <desktop/platform/wayland/data_control_primary.hpp>

#include <desktop/platform/latin1_text.hpp>
#include <desktop/platform/selected_text.hpp>
#include <desktop/platform/wayland/descriptor_wait.hpp>
#include <desktop/platform/wayland/wayland_connection.hpp>

#include "ext-data-control-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <fcntl.h>
#include <unistd.h>
#include <wayland-client.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

namespace tarvo::desktop {

namespace {

// The globals a read needs, as the registry announces them.
struct Globals {
    std::uint32_t seat = 0;
    std::uint32_t ext = 0;
    std::uint32_t wlr = 0;
    std::uint32_t wlrVersion = 0;

    std::optional<DataControlProtocol> protocol() const {
        if (ext != 0) {
            return DataControlProtocol::ext;
        }
        if (wlr != 0 && wlrVersion >= 2) {
            return DataControlProtocol::wlr;
        }
        return std::nullopt;
    }
};

constexpr wl_registry_listener registryListener{
    .global =
        [](void* data, wl_registry*, std::uint32_t name, const char* interface,
           std::uint32_t version) {
            auto& globals = *static_cast<Globals*>(data);
            if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals.seat == 0) {
                globals.seat = name;
            } else if (std::strcmp(interface, ext_data_control_manager_v1_interface.name) == 0) {
                globals.ext = name;
            } else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0) {
                globals.wlr = name;
                globals.wlrVersion = version;
            }
        },
    .global_remove = [](void*, wl_registry*, std::uint32_t) {},
};

// The registry with the globals it announced in the first round trip.
struct Registry {
    wl_registry* registry;
    Globals globals;

    explicit Registry(WaylandConnection& connection)
        : registry(wl_display_get_registry(connection.display())) {
        wl_registry_add_listener(registry, &registryListener, &globals);
    }
    ~Registry() { wl_registry_destroy(registry); }
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;
};

// The two protocols differ in their names only: the same requests and events in the same order.
struct Ext {
    using Manager = ext_data_control_manager_v1;
    using Device = ext_data_control_device_v1;
    using Offer = ext_data_control_offer_v1;
    using DeviceListener = ext_data_control_device_v1_listener;
    using OfferListener = ext_data_control_offer_v1_listener;
    static constexpr const wl_interface* manager = &ext_data_control_manager_v1_interface;
    static constexpr std::uint32_t version = 1;
    static std::uint32_t global(const Globals& globals) { return globals.ext; }
    static Device* device(Manager* manager, wl_seat* seat) {
        return ext_data_control_manager_v1_get_data_device(manager, seat);
    }
    static void listen(Device* device, const DeviceListener* listener, void* data) {
        ext_data_control_device_v1_add_listener(device, listener, data);
    }
    static void listen(Offer* offer, const OfferListener* listener, void* data) {
        ext_data_control_offer_v1_add_listener(offer, listener, data);
    }
    static void receive(Offer* offer, const char* type, int fd) {
        ext_data_control_offer_v1_receive(offer, type, fd);
    }
    static void destroy(Offer* offer) { ext_data_control_offer_v1_destroy(offer); }
    static void destroy(Device* device) { ext_data_control_device_v1_destroy(device); }
    static void destroy(Manager* manager) { ext_data_control_manager_v1_destroy(manager); }
};

struct Wlr {
    using Manager = zwlr_data_control_manager_v1;
    using Device = zwlr_data_control_device_v1;
    using Offer = zwlr_data_control_offer_v1;
    using DeviceListener = zwlr_data_control_device_v1_listener;
    using OfferListener = zwlr_data_control_offer_v1_listener;
    static constexpr const wl_interface* manager = &zwlr_data_control_manager_v1_interface;
    static constexpr std::uint32_t version = 2;
    static std::uint32_t global(const Globals& globals) { return globals.wlr; }
    static Device* device(Manager* manager, wl_seat* seat) {
        return zwlr_data_control_manager_v1_get_data_device(manager, seat);
    }
    static void listen(Device* device, const DeviceListener* listener, void* data) {
        zwlr_data_control_device_v1_add_listener(device, listener, data);
    }
    static void listen(Offer* offer, const OfferListener* listener, void* data) {
        zwlr_data_control_offer_v1_add_listener(offer, listener, data);
    }
    static void receive(Offer* offer, const char* type, int fd) {
        zwlr_data_control_offer_v1_receive(offer, type, fd);
    }
    static void destroy(Offer* offer) { zwlr_data_control_offer_v1_destroy(offer); }
    static void destroy(Device* device) { zwlr_data_control_device_v1_destroy(device); }
    static void destroy(Manager* manager) { zwlr_data_control_manager_v1_destroy(manager); }
};

// The seat's data device and the offers the compositor introduced on it, destroyed together.
template <typename P> class Device {
public:
    Device(wl_registry* registry, const Globals& globals)
        : seat_(static_cast<wl_seat*>(
              wl_registry_bind(registry, globals.seat, &wl_seat_interface, 1))),
          manager_(static_cast<typename P::Manager*>(
              wl_registry_bind(registry, P::global(globals), P::manager, P::version))),
          device_(P::device(manager_, seat_)) {
        P::listen(device_, &deviceListener, this);
    }
    ~Device() {
        for (auto& [offer, types] : offers_) {
            P::destroy(offer);
        }
        P::destroy(device_);
        P::destroy(manager_);
        wl_seat_destroy(seat_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // The primary selection's offer, once the compositor has said which (upon binding).
    typename P::Offer* primary() const { return primary_; }
    const std::vector<std::string>& types(typename P::Offer* offer) { return offers_[offer]; }

private:
    static Device& of(void* data) { return *static_cast<Device*>(data); }
    static const typename P::OfferListener offerListener;
    static const typename P::DeviceListener deviceListener;

    wl_seat* seat_;
    typename P::Manager* manager_;
    typename P::Device* device_;
    std::map<typename P::Offer*, std::vector<std::string>> offers_;
    typename P::Offer* primary_ = nullptr;
};

template <typename P>
const typename P::OfferListener Device<P>::offerListener{
    .offer = [](void* data, typename P::Offer* offer, const char* type) {
        of(data).offers_[offer].emplace_back(type);
    }};

template <typename P>
const typename P::DeviceListener Device<P>::deviceListener{
    .data_offer =
        [](void* data, typename P::Device*, typename P::Offer* offer) {
            of(data).offers_.emplace(offer, std::vector<std::string>());
            P::listen(offer, &offerListener, data);
        },
    .selection = [](void*, typename P::Device*, typename P::Offer*) {},
    .finished = [](void* data, typename P::Device*) { of(data).primary_ = nullptr; },
    .primary_selection = [](void* data, typename P::Device*,
                            typename P::Offer* offer) { of(data).primary_ = offer; },
};

// Asks the offer's owner for the text through a pipe; the owner writes it and closes its end.
template <typename P>
std::optional<std::string> receive(WaylandConnection& connection, typename P::Offer* offer,
                                   const std::string& type, DataControlPrimary::Deadline deadline) {
    std::array<int, 2> pipe{};
    if (::pipe2(pipe.data(), O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    P::receive(offer, type.c_str(), pipe[1]);
    const bool sent = connection.flush(deadline);
    // Only the owner may hold the write end, or the end of the text never comes.
    ::close(pipe[1]);
    auto bytes = sent ? readUntilClosed(pipe[0], maxSelectionBytes, deadline) : std::nullopt;
    ::close(pipe[0]);
    if (!bytes) {
        return std::nullopt;
    }
    return DataControlPrimary::asUTF8(std::move(*bytes), type);
}

template <typename P>
std::optional<std::string> readPrimary(WaylandConnection& connection, const Registry& registry,
                                       DataControlPrimary::Deadline deadline) {
    Device<P> device(registry.registry, registry.globals);
    // The compositor announces the current selections upon binding, before this round trip ends.
    if (!connection.roundtrip(deadline) || device.primary() == nullptr) {
        return std::nullopt;
    }
    const auto type = DataControlPrimary::textType(device.types(device.primary()));
    if (!type) {
        return std::nullopt;
    }
    return receive<P>(connection, device.primary(), *type, deadline);
}

// What `use` makes of the compositor's globals; absent without a compositor or its answer.
template <typename Use>
auto withGlobals(const std::string& display, DataControlPrimary::Deadline deadline, Use use)
    -> decltype(use(std::declval<WaylandConnection&>(), std::declval<const Registry&>())) {
    WaylandConnection connection(display);
    if (connection.display() == nullptr) {
        return std::nullopt;
    }
    const Registry registry(connection);
    if (!connection.roundtrip(deadline)) {
        return std::nullopt;
    }
    return use(connection, registry);
}

} // namespace

DataControlPrimary DataControlPrimary::ofSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return DataControlPrimary(display != nullptr ? display : "");
}

std::optional<DataControlProtocol> DataControlPrimary::protocol(Deadline deadline) const {
    return withGlobals(display_, deadline, [](WaylandConnection&, const Registry& registry) {
        return registry.globals.protocol();
    });
}

std::optional<std::string> DataControlPrimary::read(Deadline deadline) const {
    return withGlobals(display_, deadline,
                       [deadline](WaylandConnection& connection,
                                  const Registry& registry) -> std::optional<std::string> {
                           const auto protocol = registry.globals.protocol();
                           if (!protocol || registry.globals.seat == 0) {
                               return std::nullopt;
                           }
                           return *protocol == DataControlProtocol::ext
                                      ? readPrimary<Ext>(connection, registry, deadline)
                                      : readPrimary<Wlr>(connection, registry, deadline);
                       });
}

std::string_view DataControlPrimary::describe(DataControlProtocol protocol) {
    return protocol == DataControlProtocol::ext ? "ext-data-control-v1" : "wlr data-control v2";
}

std::optional<std::string> DataControlPrimary::textType(const std::vector<std::string>& offered) {
    for (const std::string_view wanted :
         {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"}) {
        for (const auto& type : offered) {
            if (type == wanted) {
                return type;
            }
        }
    }
    return std::nullopt;
}

std::string DataControlPrimary::asUTF8(std::string bytes, std::string_view type) {
    return type == "STRING" ? latin1ToUTF8(bytes) : std::move(bytes);
}

} // namespace tarvo::desktop
