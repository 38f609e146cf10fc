#pragma once

// The REST layer under /rest/v1/: inserting into ingest_devices and the apps_enabled procedure,
// with row-level security as the tables have it (a user writes and reads only their own rows).

#include "app_settings.hpp"
#include "caller.hpp"
#include "device_registry.hpp"
#include "http_reply.hpp"

namespace httplib {
struct Request;
}

namespace devbackend {

class PostgrestApi {
public:
    PostgrestApi(DeviceRegistry& devices, AppSettings& apps, const CallerResolver& callers)
        : devices_(devices), apps_(apps), callers_(callers) {}

    HttpReply handle(const httplib::Request& request);

private:
    HttpReply insertDevices(const httplib::Request& request, const Caller& caller);
    HttpReply appsEnabled(const httplib::Request& request, const Caller& caller);

    DeviceRegistry& devices_;
    AppSettings& apps_;
    const CallerResolver& callers_;
};

} // namespace devbackend
