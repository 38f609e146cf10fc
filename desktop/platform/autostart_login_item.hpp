#pragma once

// The login item as freedesktop desktops know it: an autostart entry
// $XDG_CONFIG_HOME/autostart/<application id>.desktop. Registering writes it (replaced whole,
// 0644, a symbolic link in its place removed first), unregistering removes it, and it counts as
// enabled while it exists and is not hidden. The entry asks for a start a few seconds after login,
// once the panel is likely there.

#include <desktop/platform/login_item.hpp>

#include <filesystem>
#include <string>

namespace tarvo::desktop {

class AutostartLoginItem final : public LoginItem {
public:
    // The entry for this build's application id, starting `executable`.
    explicit AutostartLoginItem(std::filesystem::path executable);
    AutostartLoginItem(std::filesystem::path entry, std::filesystem::path executable);

    std::expected<void, std::string> setEnabled(bool on) override;
    bool isEnabled() const override;

    const std::filesystem::path& entry() const { return entry_; }

    // The entry's text.
    static std::string entryText(const std::filesystem::path& executable);
    // A program path as one argument of an Exec line, quoted when it needs to be.
    static std::string execArgument(const std::string& path);
    // Whether an entry can start the program at `path`: valid UTF-8 without control characters,
    // which no key of an entry may hold.
    static bool canHold(const std::string& path);

private:
    std::filesystem::path entry_;
    std::filesystem::path executable_;
};

} // namespace tarvo::desktop
