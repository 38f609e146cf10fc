#pragma once

// Whether the app starts when the person logs in.

#include <expected>
#include <string>

namespace tarvo::desktop {

class LoginItem {
public:
    virtual ~LoginItem() = default;
    // Registers (on) or unregisters (off) the app; the error is a sentence for people.
    virtual std::expected<void, std::string> setEnabled(bool on) = 0;
    virtual bool isEnabled() const = 0;
};

} // namespace tarvo::desktop
