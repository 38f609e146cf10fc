#pragma once

// The edge functions under /functions/v1/: capture-ingest, capture-suggest and
// capture-transcribe.

#include "app_settings.hpp"
#include "caller.hpp"
#include "entry_store.hpp"
#include "http_reply.hpp"
#include "known_people.hpp"
#include "object_store.hpp"

namespace httplib {
struct Request;
}

namespace devbackend {

class FunctionsApi {
public:
    FunctionsApi(EntryStore& entries, AppSettings& apps, KnownPeople& people, ObjectStore& objects,
                 const CallerResolver& callers)
        : entries_(entries), apps_(apps), people_(people), objects_(objects), callers_(callers) {}

    HttpReply handle(const httplib::Request& request);

private:
    HttpReply ingest(const httplib::Request& request);
    HttpReply suggest(const httplib::Request& request);
    HttpReply transcribe(const httplib::Request& request);
    // A registered device (or, unless `devicesOnly`, a signed-in user), or the refusal.
    std::expected<Caller, HttpReply> authenticate(const httplib::Request& request,
                                                  bool devicesOnly);

    EntryStore& entries_;
    AppSettings& apps_;
    KnownPeople& people_;
    ObjectStore& objects_;
    const CallerResolver& callers_;
};

} // namespace devbackend
