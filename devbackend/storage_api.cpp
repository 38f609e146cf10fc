#include "storage_api.hpp"

#include <capturekit/platform/text.hpp>

#include <httplib.h>

namespace devbackend {

using capturekit::Json;

namespace {

constexpr std::string_view objectPrefix = "/storage/v1/object/";
constexpr std::string_view mediaBucket = "capture-media";
constexpr std::size_t maximumPathLength = 1024;

bool validObjectPath(std::string_view path) {
    if (path.empty() || path.size() > maximumPathLength || !capturekit::text::isValidUTF8(path)) {
        return false;
    }
    for (char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\\') {
            return false;
        }
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view segment = path.substr(start, end - start);
        if (segment.empty() || segment == "." || segment == "..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

bool ownedBy(std::string_view path, const Caller& caller) {
    return path.starts_with(caller.userID + "/");
}

HttpReply notFound() {
    return errors::storage(404, "not_found", "Object not found");
}

} // namespace

HttpReply StorageApi::handle(const httplib::Request& request) {
    const std::string_view rest =
        std::string_view(request.path).substr(std::min(request.path.size(), objectPrefix.size()));
    if (!request.path.starts_with(objectPrefix)) {
        return errors::storage(404, "not_found", "Route not found");
    }
    const std::size_t slash = rest.find('/');
    const std::string_view bucket = rest.substr(0, slash);
    if (bucket != mediaBucket) {
        return errors::storage(404, "Bucket not found", "Bucket not found");
    }
    const std::string path(slash == std::string_view::npos ? "" : rest.substr(slash + 1));
    if (!validObjectPath(path)) {
        return errors::storage(400, "InvalidKey",
                               "Invalid key: " + capturekit::text::validUTF8(path));
    }
    const auto caller = callers_.fromAccessToken(request);
    if (!caller || caller->kind != Caller::Kind::user) {
        return errors::storage(401, "Unauthorized",
                               caller ? "sign in to use storage" : describe(caller.error()));
    }
    if (request.method == "POST") {
        const bool upsert =
            capturekit::text::lowercased(request.get_header_value("x-upsert")) == "true";
        return upload(request, *caller, path, upsert ? WriteMode::upsert : WriteMode::create);
    }
    if (request.method == "PUT") {
        return upload(request, *caller, path, WriteMode::replace);
    }
    if (request.method == "GET" || request.method == "HEAD") {
        return download(*caller, path);
    }
    if (request.method == "DELETE") {
        return remove(*caller, path);
    }
    return errors::storage(405, "Method Not Allowed", "Method Not Allowed");
}

HttpReply StorageApi::upload(const httplib::Request& request, const Caller& caller,
                             const std::string& path, WriteMode mode) {
    if (!ownedBy(path, caller)) {
        return errors::storage(403, "Unauthorized", "new row violates row-level security policy");
    }
    std::string contentType = request.get_header_value("Content-Type");
    if (contentType.empty()) {
        contentType = "application/octet-stream";
    }
    const auto written = objects_.write(StoredObject{.bucket = std::string(mediaBucket),
                                                     .path = path,
                                                     .owner = caller.userID,
                                                     .contentType = contentType,
                                                     .data = request.body},
                                        mode);
    if (!written) {
        return written.error() == WriteError::exists
                   ? errors::storage(409, "Duplicate", "The resource already exists")
                   : notFound();
    }
    return HttpReply::json(
        200, Json{{"Key", std::string(mediaBucket) + "/" + path}, {"Id", written->id}});
}

HttpReply StorageApi::download(const Caller& caller, const std::string& path) {
    const auto object = objects_.read(mediaBucket, path);
    if (!object || object->owner != caller.userID) {
        return notFound();
    }
    return HttpReply{.status = 200, .body = object->data, .contentType = object->contentType};
}

HttpReply StorageApi::remove(const Caller& caller, const std::string& path) {
    const auto object = objects_.read(mediaBucket, path);
    if (!object || object->owner != caller.userID || !objects_.remove(mediaBucket, path)) {
        return notFound();
    }
    return HttpReply::json(200, Json{{"message", "Successfully deleted"}});
}

} // namespace devbackend
