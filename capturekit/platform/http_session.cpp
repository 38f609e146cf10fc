#include <capturekit/platform/http_session.hpp>

#include <curl/curl.h>

#include <array>
#include <cctype>
#include <memory>
#include <mutex>

namespace capturekit {

namespace {

std::string lowercasedASCII(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string_view trimmedASCII(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Transfer {
    std::string body;
    HttpHeaders headers;
    std::stop_token stop;
    bool tooLarge = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    if (size * count > HttpSession::maxReplyBytes - transfer->body.size()) {
        transfer->tooLarge = true;
        return 0; // ends the transfer with a write error
    }
    transfer->body.append(data, size * count);
    return size * count;
}

size_t writeHeader(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) {
        transfer->headers.clear(); // a new response (after 1xx or a redirect) starts over
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
        transfer->headers.emplace_back(lowercasedASCII(trimmedASCII(line.substr(0, colon))),
                                       std::string(trimmedASCII(line.substr(colon + 1))));
    }
    return size * count;
}

int checkStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->stop.stop_requested() ? 1 : 0;
}

HttpError invalidRequest(std::string description) {
    return HttpError{HttpError::Kind::invalidRequest, std::move(description)};
}

} // namespace

const std::string* HttpResponse::header(std::string_view name) const {
    const std::string wanted = lowercasedASCII(name);
    for (const auto& [key, value] : headers) {
        if (key == wanted) {
            return &value;
        }
    }
    return nullptr;
}

struct HttpSession::State {
    CURLSH* share = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;

    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
        static_cast<State*>(user)->locks[static_cast<std::size_t>(data)].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* user) {
        static_cast<State*>(user)->locks[static_cast<std::size_t>(data)].unlock();
    }
};

HttpSession::HttpSession() : state_(new State) {
    initialiseCurlOnce();
    state_->share = curl_share_init();
    curl_share_setopt(state_->share, CURLSHOPT_LOCKFUNC, &State::lock);
    curl_share_setopt(state_->share, CURLSHOPT_UNLOCKFUNC, &State::unlock);
    curl_share_setopt(state_->share, CURLSHOPT_USERDATA, state_);
    curl_share_setopt(state_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(state_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(state_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
}

HttpSession::~HttpSession() {
    curl_share_cleanup(state_->share);
    delete state_;
}

HttpSession& HttpSession::shared() {
    // Never destroyed: worker threads may still finish a request while the process exits.
    static HttpSession* session = new HttpSession;
    return *session;
}

bool HttpSession::isSafeHeaderValue(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::expected<HttpResponse, HttpError> HttpSession::perform(const HttpRequest& request,
                                                            std::stop_token stop) {
    if (stop.stop_requested()) {
        return std::unexpected(HttpError{HttpError::Kind::cancelled, "cancelled"});
    }
    std::unique_ptr<curl_slist, SlistDeleter> headerList;
    for (const auto& [name, value] : request.headers) {
        if (!isSafeHeaderValue(name) || !isSafeHeaderValue(value) ||
            name.find(':') != std::string::npos || name.empty()) {
            return std::unexpected(invalidRequest("invalid header value for " + name));
        }
        // "Name;" is libcurl's spelling of a header sent with an empty value.
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        headerList.reset(curl_slist_append(headerList.release(), line.c_str()));
    }
    // No "Expect: 100-continue" round trip before a body.
    headerList.reset(curl_slist_append(headerList.release(), "Expect:"));

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        return std::unexpected(HttpError{HttpError::Kind::transport, "out of memory"});
    }
    Transfer transfer{{}, {}, stop, false};
    std::array<char, CURL_ERROR_SIZE> errorBuffer{};
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_SHARE, state_->share);
    curl_easy_setopt(e, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    if (!request.body.empty() || request.method == "POST" || request.method == "PUT" ||
        request.method == "PATCH") {
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, request.body.data());
    }
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count()));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer.data());
    // Refuses at once a reply whose announced length is too large; writeBody catches the rest.
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxReplyBytes));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &writeBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &writeHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &checkStop);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);

    const CURLcode code = curl_easy_perform(e);
    if (code == CURLE_ABORTED_BY_CALLBACK && stop.stop_requested()) {
        return std::unexpected(HttpError{HttpError::Kind::cancelled, "cancelled"});
    }
    if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        return std::unexpected(HttpError{
            HttpError::Kind::transport,
            "Reply too large (over " + std::to_string(maxReplyBytes / (1024 * 1024)) + " MiB)"});
    }
    if (code == CURLE_URL_MALFORMAT || code == CURLE_UNSUPPORTED_PROTOCOL) {
        return std::unexpected(
            invalidRequest(errorBuffer[0] != '\0' ? errorBuffer.data() : curl_easy_strerror(code)));
    }
    if (code != CURLE_OK) {
        return std::unexpected(
            HttpError{HttpError::Kind::transport,
                      errorBuffer[0] != '\0' ? errorBuffer.data() : curl_easy_strerror(code)});
    }
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    return HttpResponse{static_cast<int>(status), std::move(transfer.headers),
                        std::move(transfer.body)};
}

} // namespace capturekit
