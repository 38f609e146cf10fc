#pragma once

// One dev backend for a whole test program, started before its first test. The library reads its
// API base once per process, so integration test programs register this environment and point
// TARVO_API_BASE at the server before any configuration is used:
//
//     static auto* const backend = tarvo::test::DevBackendEnvironment::install();

#include "support/dev_backend_process.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tarvo::test {

class DevBackendEnvironment final : public ::testing::Environment {
public:
    // Registers the environment with GoogleTest; call from a static initializer.
    static DevBackendEnvironment* install(std::vector<std::string> arguments = {});

    void SetUp() override;
    void TearDown() override;

    // The running server (valid between SetUp and TearDown).
    static DevBackendProcess& backend();

private:
    explicit DevBackendEnvironment(std::vector<std::string> arguments);
    std::vector<std::string> arguments_;
    std::unique_ptr<DevBackendProcess> process_;
    static DevBackendEnvironment* instance_;
};

} // namespace tarvo::test
