#pragma once

// Object storage under /storage/v1/object/: the capture-media bucket, where each user writes
// and reads only below a folder named after their user id.

#include "caller.hpp"
#include "http_reply.hpp"
#include "object_store.hpp"

namespace httplib {
struct Request;
}

namespace devbackend {

class StorageApi {
public:
    StorageApi(ObjectStore& objects, const CallerResolver& callers)
        : objects_(objects), callers_(callers) {}

    HttpReply handle(const httplib::Request& request);

private:
    HttpReply upload(const httplib::Request& request, const Caller& caller, const std::string& path,
                     WriteMode mode);
    HttpReply download(const Caller& caller, const std::string& path);
    HttpReply remove(const Caller& caller, const std::string& path);

    ObjectStore& objects_;
    const CallerResolver& callers_;
};

} // namespace devbackend
