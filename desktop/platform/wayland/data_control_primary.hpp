#pragma once

// Reads the PRIMARY selection (the text last selected in any program) through the compositor's
// data-control protocol: ext-data-control-v1, else wlr data-control version 2 (the first with the
// primary selection). sway, KDE Plasma 6 and Hyprland offer one; GNOME offers neither. Each read
// opens a connection of its own, on the calling thread, and ends by the caller's deadline whatever
// the compositor or the selection's owner does.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::desktop {

enum class DataControlProtocol {
    ext, // ext_data_control_manager_v1
    wlr, // zwlr_data_control_manager_v1, version 2 or later
};

class DataControlPrimary {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    // `display` is named like WAYLAND_DISPLAY; empty: there is no compositor.
    explicit DataControlPrimary(std::string display) : display_(std::move(display)) {}
    // The session's compositor (WAYLAND_DISPLAY).
    static DataControlPrimary ofSession();

    // The protocol the compositor offers; absent without a compositor, without either protocol,
    // or when it did not answer in time.
    std::optional<DataControlProtocol> protocol(Deadline deadline) const;
    // The primary selection as text; absent without the protocol or a primary selection, when
    // its owner offers no text or more than the selection size limit, or by the deadline.
    std::optional<std::string> read(Deadline deadline) const;

    // "ext-data-control-v1", "wlr data-control v2".
    static std::string_view describe(DataControlProtocol protocol);
    // The text type to ask the owner for among the ones it offers, UTF-8 first.
    static std::optional<std::string> textType(const std::vector<std::string>& offered);
    // The received bytes as UTF-8: STRING is Latin-1, as on X11.
    static std::string asUTF8(std::string bytes, std::string_view type);

private:
    std::string display_;
};

} // namespace tarvo::desktop
