#include "support/dev_backend_environment.hpp"

#include <cstdlib>
#include <stdexcept>

namespace tarvo::test {

DevBackendEnvironment* DevBackendEnvironment::instance_ = nullptr;

DevBackendEnvironment::DevBackendEnvironment(std::vector<std::string> arguments)
    : arguments_(std::move(arguments)) {}

DevBackendEnvironment* DevBackendEnvironment::install(std::vector<std::string> arguments) {
    instance_ = new DevBackendEnvironment(std::move(arguments));
    ::testing::AddGlobalTestEnvironment(instance_); // GoogleTest owns it from here
    return instance_;
}

void DevBackendEnvironment::SetUp() {
    process_ = std::make_unique<DevBackendProcess>(arguments_);
    ::setenv("TARVO_API_BASE", process_->baseURL().c_str(), 1);
}

void DevBackendEnvironment::TearDown() {
    process_.reset();
}

DevBackendProcess& DevBackendEnvironment::backend() {
    if (instance_ == nullptr || !instance_->process_) {
        throw std::logic_error("the dev backend environment is not running");
    }
    return *instance_->process_;
}

} // namespace tarvo::test
