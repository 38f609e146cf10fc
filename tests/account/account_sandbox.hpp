#pragma once

// What the account and delivery tests share: a private place for the app-group preferences and
// the secret store, a clock that moves only when told, and an HTTP transport whose replies the
// test writes.

#include <capturekit/account/capture_config.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/file_secret_store.hpp>
#include <capturekit/platform/http_session.hpp>

#include <support/temporary_folder.hpp>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace tarvo::testing {

// The app-group preferences (XDG_CONFIG_HOME) and a plain-file secret store in a fresh folder.
class AccountSandbox {
public:
    AccountSandbox()
        : config_("XDG_CONFIG_HOME", (folder_ / "config").c_str()),
          data_("XDG_DATA_HOME", (folder_ / "data").c_str()), secrets_(folder_ / "secrets.json") {}

    capturekit::FileSecretStore& secrets() { return secrets_; }
    std::filesystem::path lockFile() const { return folder_ / "session-refresh.lock"; }
    const TemporaryFolder& folder() const { return folder_; }

private:
    TemporaryFolder folder_;
    ScopedEnvironmentVariable config_;
    ScopedEnvironmentVariable data_;
    capturekit::FileSecretStore secrets_;
};

class ManualClock final : public capturekit::Clock {
public:
    explicit ManualClock(capturekit::Date start) : now_(start.time_since_epoch().count()) {}
    capturekit::Date now() const override {
        return capturekit::Date(capturekit::Date::duration(now_.load()));
    }
    void set(capturekit::Date date) { now_ = date.time_since_epoch().count(); }
    void advance(capturekit::Date::duration by) { now_ += by.count(); }

private:
    std::atomic<capturekit::Date::duration::rep> now_;
};

// Answers every request with the handler's reply and remembers the requests, from any thread.
class ScriptedTransport final : public capturekit::HttpTransport {
public:
    using Handler = std::function<std::expected<capturekit::HttpResponse, capturekit::HttpError>(
        const capturekit::HttpRequest&, std::stop_token)>;

    explicit ScriptedTransport(Handler handler) : handler_(std::move(handler)) {}

    std::expected<capturekit::HttpResponse, capturekit::HttpError>
    perform(const capturekit::HttpRequest& request, std::stop_token stop) override {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        return handler_(request, stop);
    }

    std::vector<capturekit::HttpRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    static capturekit::HttpResponse reply(int status, std::string body) {
        return capturekit::HttpResponse{status, {}, std::move(body)};
    }

private:
    Handler handler_;
    mutable std::mutex mutex_;
    std::vector<capturekit::HttpRequest> requests_;
};

} // namespace tarvo::testing
