#pragma once

// Development endpoints under /__dev/, answered only to loopback callers: users, their app
// settings and known people, their filed entries and devices, the request log and faults.

#include "app_settings.hpp"
#include "device_registry.hpp"
#include "entry_store.hpp"
#include "fault_injector.hpp"
#include "http_reply.hpp"
#include "known_people.hpp"
#include "request_log.hpp"
#include "user_directory.hpp"

#include <string>
#include <vector>

namespace httplib {
struct Request;
}

namespace devbackend {

class DevApi {
public:
    struct Stores {
        UserDirectory& users;
        EntryStore& entries;
        DeviceRegistry& devices;
        AppSettings& apps;
        KnownPeople& people;
        RequestLog& requests;
        FaultInjector& faults;
    };

    explicit DevApi(Stores stores) : stores_(stores) {}

    HttpReply handle(const httplib::Request& request);

private:
    HttpReply users(const httplib::Request& request, const std::vector<std::string>& segments);
    HttpReply addUser(const httplib::Request& request);
    HttpReply requests(const httplib::Request& request);
    HttpReply faults(const httplib::Request& request);
    HttpReply setApps(const std::string& userID, const httplib::Request& request);
    HttpReply setPeople(const std::string& userID, const httplib::Request& request);
    capturekit::Json userJson(const User& user);

    Stores stores_;
};

} // namespace devbackend
