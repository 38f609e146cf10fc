#pragma once

// An AuthProvider that hands out one given token (or none) and counts how often it was asked.

#include <capturekit/account/auth_provider.hpp>

#include <atomic>
#include <optional>
#include <string>

namespace tarvo::test {

class FixedToken final : public capturekit::AuthProvider {
public:
    explicit FixedToken(std::optional<std::string> token) : token_(std::move(token)) {}

    std::optional<std::string> bearerToken(std::stop_token) const override {
        ++asked_;
        return token_;
    }
    int timesAsked() const { return asked_; }

private:
    std::optional<std::string> token_;
    mutable std::atomic<int> asked_{0};
};

} // namespace tarvo::test
