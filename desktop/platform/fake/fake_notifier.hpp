#pragma once

// Notifications for the model's tests: kept in the order they were asked for.

#include <desktop/platform/desktop_notifier.hpp>

#include <string>
#include <vector>

namespace tarvo::desktop::fake {

class FakeNotifier final : public DesktopNotifier {
public:
    void notify(const std::string& summary, const std::string& body) override {
        shown.push_back(summary + ": " + body);
    }

    std::vector<std::string> shown;
};

} // namespace tarvo::desktop::fake
