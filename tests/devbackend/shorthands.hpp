#pragma once

// Calls the dev backend's tests make over and over, on top of the shared client.

#include "support/backend_client.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

namespace tarvo::test {

using capturekit::Json;

// A fresh server on a fresh database, and a client for it.
class BackendTest : public testing::Test {
protected:
    DevBackendProcess backend;
    BackendClient client{backend};
};

// The same with a user signed in and a device registered.
class AccountTest : public BackendTest {
protected:
    Account account = client.newAccount();
};

// The user behind an access token, as the auth service sees it.
inline Reply currentUser(BackendClient& client, const std::string& accessToken) {
    return client.send("GET", "/auth/v1/user", {}, bearer(accessToken));
}

// Runs `call` on `count` threads at once, each with its own client, and gives what each returned.
inline std::vector<std::string> inParallel(const DevBackendProcess& backend, int count,
                                           const std::function<std::string(BackendClient&)>& call) {
    std::vector<std::string> results(static_cast<std::size_t>(count));
    {
        std::vector<std::jthread> threads;
        for (auto& result : results) {
            threads.emplace_back([&] {
                BackendClient own(backend);
                result = call(own);
            });
        }
    }
    return results;
}

} // namespace tarvo::test
