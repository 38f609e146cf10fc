#pragma once

// An HTTP transport whose replies the test writes: either a handler that answers each request (and
// sees its stop token), or a queue of replies played in order (500 once it runs out), which like
// the real session refuses a request whose stop token is already triggered. It records every
// request that reached it.

#include <capturekit/platform/http_session.hpp>

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace tarvo::test {

class ScriptedTransport final : public capturekit::HttpTransport {
public:
    using Reply = std::expected<capturekit::HttpResponse, capturekit::HttpError>;
    using Handler = std::function<Reply(const capturekit::HttpRequest&, std::stop_token)>;

    ScriptedTransport() = default;
    explicit ScriptedTransport(Handler handler) : handler_(std::move(handler)) {}

    Reply perform(const capturekit::HttpRequest& request, std::stop_token stop) override {
        std::unique_lock lock(mutex_);
        if (handler_) {
            requests_.push_back(request);
            lock.unlock();
            return handler_(request, stop);
        }
        if (stop.stop_requested()) {
            return refused("cancelled", capturekit::HttpError::Kind::cancelled);
        }
        requests_.push_back(request);
        if (replies_.empty()) {
            return reply(500);
        }
        Reply next = std::move(replies_.front());
        replies_.pop_front();
        return next;
    }

    // Replaces the queue of replies.
    void play(std::vector<Reply> replies) {
        std::lock_guard lock(mutex_);
        replies_.assign(replies.begin(), replies.end());
    }
    std::vector<capturekit::HttpRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    void forgetRequests() {
        std::lock_guard lock(mutex_);
        requests_.clear();
    }

    static Reply reply(int status, std::string body = "") {
        return capturekit::HttpResponse{status, {}, std::move(body)};
    }
    static Reply
    refused(std::string text,
            capturekit::HttpError::Kind kind = capturekit::HttpError::Kind::transport) {
        return std::unexpected(capturekit::HttpError{kind, std::move(text)});
    }

private:
    Handler handler_;
    mutable std::mutex mutex_;
    std::deque<Reply> replies_;
    std::vector<capturekit::HttpRequest> requests_;
};

} // namespace tarvo::test
