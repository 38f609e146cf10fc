#include <capturekit/platform/file_secret_store.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/atomic_file.hpp>
#include <capturekit/platform/base64.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/log.hpp>
#include <capturekit/platform/paths.hpp>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace capturekit {

namespace {

struct Item {
    std::string service;
    std::string account;
    std::string secret;
};
using Items = std::vector<Item>;

enum class LoadFailure { damaged, unreadable };

struct Loaded {
    Items items;
    std::optional<LoadFailure> failure;
    std::string detail;
};

SecretStoreError failure(const std::filesystem::path& file, std::string_view reason) {
    return {SecretStoreError::Kind::failed, file.string() + ": " + std::string(reason)};
}

// Holds the lock file beside the store while one process reads, changes and replaces the file.
class StoreLock {
public:
    explicit StoreLock(const std::filesystem::path& file) {
        const auto lockFile = file.string() + ".lock";
        fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error_ = errno;
                return;
            }
        }
    }
    ~StoreLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    std::optional<std::string> error() const {
        if (error_ == 0) {
            return std::nullopt;
        }
        return std::error_code(error_, std::generic_category()).message();
    }

private:
    int fd_ = -1;
    int error_ = 0;
};

std::optional<Items> decode(std::string_view contents) {
    const auto document = json::parse(contents);
    const Json* list = document ? json::member(*document, "items") : nullptr;
    if (list == nullptr || !list->is_array()) {
        return std::nullopt;
    }
    Items items;
    for (const auto& entry : *list) {
        auto service = json::string(entry, "service");
        auto account = json::string(entry, "account");
        const auto encoded = json::string(entry, "secret");
        auto secret = encoded ? base64::decode(*encoded) : std::nullopt;
        if (!service || !account || !secret) {
            return std::nullopt;
        }
        items.push_back({std::move(*service), std::move(*account), std::move(*secret)});
    }
    return items;
}

std::string encode(const Items& items) {
    OrderedJson list = OrderedJson::array();
    for (const auto& item : items) {
        OrderedJson entry;
        entry["service"] = item.service;
        entry["account"] = item.account;
        entry["secret"] = base64::encode(item.secret);
        list.push_back(std::move(entry));
    }
    OrderedJson document;
    document["items"] = std::move(list);
    return document.dump(2) + "\n";
}

Loaded load(const std::filesystem::path& file) {
    // A write cut short by a crash leaves its temporary file, with every secret in it, behind.
    atomic_file::removeAbandonedTemporaries(file);
    const auto contents = atomic_file::read(file);
    if (!contents) {
        if (contents.error() == std::errc::no_such_file_or_directory) {
            return {};
        }
        return {{}, LoadFailure::unreadable, contents.error().message()};
    }
    if (auto items = decode(*contents)) {
        return {std::move(*items), std::nullopt, {}};
    }
    return {{}, LoadFailure::damaged, "the file is damaged"};
}

std::expected<void, SecretStoreError> save(const std::filesystem::path& file, const Items& items) {
    if (const auto folder = paths::claimPrivateDirectory(file.parent_path()); !folder) {
        return std::unexpected(failure(file.parent_path(), folder.error().message()));
    }
    if (const auto written = atomic_file::write(file, encode(items), 0600); !written) {
        return std::unexpected(failure(file, written.error().message()));
    }
    return {};
}

Items::iterator find(Items& items, std::string_view service, std::string_view account) {
    return std::ranges::find_if(items, [&](const Item& item) {
        return item.service == service && item.account == account;
    });
}

// A damaged file cannot be read, but it may still be worth recovering by hand: it is set aside
// rather than overwritten.
void setAsideDamaged(const std::filesystem::path& file) {
    const auto aside = file.string() + ".damaged";
    ::rename(file.c_str(), aside.c_str());
    Logger(application::identifier(), "secrets")
        .error("The credentials file was damaged and has been moved to " + aside);
}

bool isOpenToOtherUsers(const std::filesystem::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && (status.st_mode & 077) != 0;
}

} // namespace

FileSecretStore::FileSecretStore(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path FileSecretStore::defaultPath() {
    return paths::dataHome() / application::identifier() / "secrets.json";
}

std::expected<std::optional<std::string>, SecretStoreError>
FileSecretStore::read(std::string_view service, std::string_view account) {
    auto loaded = load(file_);
    if (loaded.failure) {
        return std::unexpected(failure(file_, loaded.detail));
    }
    const auto item = find(loaded.items, service, account);
    if (item == loaded.items.end()) {
        return std::optional<std::string>();
    }
    return std::optional<std::string>(item->secret);
}

std::expected<void, SecretStoreError> FileSecretStore::write(std::string_view service,
                                                             std::string_view account,
                                                             std::string_view secret) {
    if (const auto folder = paths::claimPrivateDirectory(file_.parent_path()); !folder) {
        return std::unexpected(failure(file_.parent_path(), folder.error().message()));
    }
    const StoreLock lock(file_);
    if (const auto error = lock.error()) {
        return std::unexpected(failure(file_, *error));
    }
    auto loaded = load(file_);
    if (loaded.failure == LoadFailure::unreadable) {
        return std::unexpected(failure(file_, loaded.detail));
    }
    if (loaded.failure == LoadFailure::damaged) {
        setAsideDamaged(file_);
    }
    if (const auto item = find(loaded.items, service, account); item != loaded.items.end()) {
        item->secret = secret;
    } else {
        loaded.items.push_back({std::string(service), std::string(account), std::string(secret)});
    }
    return save(file_, loaded.items);
}

std::expected<bool, SecretStoreError> FileSecretStore::remove(std::string_view service,
                                                              std::string_view account) {
    std::error_code error;
    if (!std::filesystem::exists(file_, error)) {
        return false;
    }
    const StoreLock lock(file_);
    if (const auto lockError = lock.error()) {
        return std::unexpected(failure(file_, *lockError));
    }
    auto loaded = load(file_);
    if (loaded.failure) {
        return std::unexpected(failure(file_, loaded.detail));
    }
    const auto item = find(loaded.items, service, account);
    if (item == loaded.items.end()) {
        return false;
    }
    loaded.items.erase(item);
    if (auto saved = save(file_, loaded.items); !saved) {
        return std::unexpected(saved.error());
    }
    return true;
}

std::optional<SecretProtection> FileSecretStore::protection(std::string_view service,
                                                            std::string_view account) {
    const auto stored = read(service, account);
    if (!stored || !*stored) {
        return std::nullopt;
    }
    return isOpenToOthers() ? SecretProtection::weakerThanOwner : SecretProtection::ownerOnly;
}

bool FileSecretStore::isOpenToOthers() const {
    std::error_code error;
    return std::filesystem::exists(file_, error) &&
           (isOpenToOtherUsers(file_) || isOpenToOtherUsers(file_.parent_path()));
}

bool FileSecretStore::harden(std::string_view service, std::string_view account) {
    if (protection(service, account) != SecretProtection::weakerThanOwner) {
        return false;
    }
    const StoreLock lock(file_);
    auto loaded = load(file_);
    if (lock.error() || loaded.failure) {
        return false;
    }
    // Closing the folder first means no one can open the rewritten file through it.
    if (::chmod(file_.parent_path().c_str(), 0700) != 0) {
        return false;
    }
    return save(file_, loaded.items).has_value();
}

} // namespace capturekit
