#include <capturekit/platform/secret_service_store.hpp>

#include <capturekit/platform/text.hpp>

#include <libsecret/secret.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <thread>

namespace capturekit {

namespace {

const SecretSchema* schema() {
    static const SecretSchema value = [] {
        SecretSchema s{};
        s.name = "com.merrow.loft.Credential";
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[2] = {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &value;
}

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPointer = std::unique_ptr<GError, ErrorFree>;

bool isMissingService(const GError* error) {
    if (error->domain == G_DBUS_ERROR) {
        switch (error->code) {
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_NO_SERVER:
        case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
        case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
        case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
        case G_DBUS_ERROR_SPAWN_FAILED:
            return true;
        default:
            return false;
        }
    }
    if (error->domain == G_IO_ERROR) {
        return error->code == G_IO_ERROR_NOT_FOUND ||
               error->code == G_IO_ERROR_CONNECTION_REFUSED ||
               error->code == G_IO_ERROR_CONNECTION_CLOSED || error->code == G_IO_ERROR_BROKEN_PIPE;
    }
    return false;
}

SecretStoreError storeError(const GError* error) {
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        return {SecretStoreError::Kind::timedOut, {}};
    }
    if (isMissingService(error)) {
        return {SecretStoreError::Kind::unavailable, {}};
    }
    return {SecretStoreError::Kind::failed, error->message};
}

struct CancellableUnref {
    void operator()(GCancellable* cancellable) const { g_object_unref(cancellable); }
};
using SharedCancellable = std::shared_ptr<GCancellable>;

// Runs a blocking libsecret call on its own thread and waits at most `limit` for it. When time
// runs out the call is cancelled and left to finish on its own; the caller gets `timedOut`.
template <typename T>
std::expected<T, SecretStoreError>
runWithTimeLimit(std::chrono::milliseconds limit,
                 std::function<std::expected<T, SecretStoreError>(GCancellable*)> call) {
    if (!SecretServiceStore::hasSessionBus()) {
        return std::unexpected(SecretStoreError{SecretStoreError::Kind::unavailable, {}});
    }
    const SharedCancellable cancellable(g_cancellable_new(), CancellableUnref{});
    auto promise = std::make_shared<std::promise<std::expected<T, SecretStoreError>>>();
    auto result = promise->get_future();
    try {
        std::thread([promise, cancellable, call = std::move(call)] {
            try {
                promise->set_value(call(cancellable.get()));
            } catch (const std::exception& error) {
                promise->set_value(std::unexpected(
                    SecretStoreError{SecretStoreError::Kind::failed, error.what()}));
            }
        }).detach();
    } catch (const std::system_error& error) {
        return std::unexpected(SecretStoreError{SecretStoreError::Kind::failed, error.what()});
    }
    if (result.wait_for(limit) != std::future_status::ready) {
        g_cancellable_cancel(cancellable.get());
        return std::unexpected(SecretStoreError{SecretStoreError::Kind::timedOut, {}});
    }
    return result.get();
}

std::string label(std::string_view service, std::string_view account) {
    return std::string(account) + " (" + std::string(service) + ")";
}

} // namespace

SecretServiceStore::SecretServiceStore(std::chrono::milliseconds timeLimit)
    : timeLimit_(timeLimit) {}

bool SecretServiceStore::hasSessionBus() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && address[0] != '\0') {
        return true;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    return runtime != nullptr && runtime[0] == '/' &&
           std::filesystem::exists(std::filesystem::path(runtime) / "bus", error);
}

std::expected<std::optional<std::string>, SecretStoreError>
SecretServiceStore::read(std::string_view service, std::string_view account) {
    return runWithTimeLimit<std::optional<std::string>>(
        timeLimit_,
        [service = std::string(service), account = std::string(account)](GCancellable* cancellable)
            -> std::expected<std::optional<std::string>, SecretStoreError> {
            GError* rawError = nullptr;
            SecretValue* value = secret_password_lookup_binary_sync(
                schema(), cancellable, &rawError, "service", service.c_str(), "account",
                account.c_str(), nullptr);
            const ErrorPointer error(rawError);
            if (error) {
                return std::unexpected(storeError(error.get()));
            }
            if (value == nullptr) {
                return std::optional<std::string>();
            }
            gsize length = 0;
            const gchar* bytes = secret_value_get(value, &length);
            std::string secret(bytes, length);
            secret_value_unref(value);
            return std::optional<std::string>(std::move(secret));
        });
}

std::expected<void, SecretStoreError> SecretServiceStore::write(std::string_view service,
                                                                std::string_view account,
                                                                std::string_view secret) {
    return runWithTimeLimit<void>(
        timeLimit_,
        [service = std::string(service), account = std::string(account),
         secret = std::string(secret)](
            GCancellable* cancellable) -> std::expected<void, SecretStoreError> {
            // Text secrets are marked as text so that other keyring tools show them readably.
            const bool isText = text::isValidUTF8(secret) && secret.find('\0') == std::string::npos;
            SecretValue* value =
                secret_value_new(secret.data(), static_cast<gssize>(secret.size()),
                                 isText ? "text/plain" : "application/octet-stream");
            GError* rawError = nullptr;
            const gboolean stored = secret_password_store_binary_sync(
                schema(), SECRET_COLLECTION_DEFAULT, label(service, account).c_str(), value,
                cancellable, &rawError, "service", service.c_str(), "account", account.c_str(),
                nullptr);
            secret_value_unref(value);
            const ErrorPointer error(rawError);
            if (error) {
                return std::unexpected(storeError(error.get()));
            }
            if (!stored) {
                return std::unexpected(SecretStoreError{SecretStoreError::Kind::failed, {}});
            }
            return {};
        });
}

std::expected<bool, SecretStoreError> SecretServiceStore::remove(std::string_view service,
                                                                 std::string_view account) {
    return runWithTimeLimit<bool>(
        timeLimit_,
        [service = std::string(service), account = std::string(account)](
            GCancellable* cancellable) -> std::expected<bool, SecretStoreError> {
            GError* rawError = nullptr;
            const gboolean removed =
                secret_password_clear_sync(schema(), cancellable, &rawError, "service",
                                           service.c_str(), "account", account.c_str(), nullptr);
            const ErrorPointer error(rawError);
            if (error) {
                return std::unexpected(storeError(error.get()));
            }
            return removed != FALSE;
        });
}

std::optional<SecretProtection> SecretServiceStore::protection(std::string_view service,
                                                               std::string_view account) {
    const auto stored = read(service, account);
    if (!stored || !*stored) {
        return std::nullopt;
    }
    return SecretProtection::ownerOnly;
}

bool SecretServiceStore::harden(std::string_view, std::string_view) {
    return false;
}

} // namespace capturekit
