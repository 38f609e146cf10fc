#include <capturekit/platform/application_info.hpp>

#include <tarvo/build_configuration.hpp>

#include <atomic>

namespace capturekit::application {

namespace {
std::atomic<bool> underTestRunner{false};
} // namespace

const std::string& identifier() {
    static const std::string id = tarvo::build::applicationID;
    return id;
}

std::optional<std::string> buildSetting(std::string_view name) {
    if (name == "TarvoEnvironment") {
        return std::string(tarvo::build::environmentSetting);
    }
    return std::nullopt;
}

void markRunningUnderTestRunner() {
    underTestRunner.store(true);
}

bool isRunningUnderTestRunner() {
    return underTestRunner.load();
}

} // namespace capturekit::application
