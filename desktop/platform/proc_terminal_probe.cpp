#include <desktop/platform/proc_terminal_probe.hpp>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace tarvo::desktop {

namespace {

struct FolderCloser {
    void operator()(DIR* folder) const { ::closedir(folder); }
};

bool isTerminalMultiplexer(std::string_view target) {
    return target == "/dev/ptmx" || target == "/dev/pts/ptmx";
}

} // namespace

std::optional<bool> ProcTerminalProbe::holdsTerminal(const ActiveWindow& app) {
    if (app.pid <= 0) {
        return std::nullopt;
    }
    const std::filesystem::path process = proc_ / std::to_string(app.pid);
    struct stat status {};
    if (::stat(process.c_str(), &status) != 0 || status.st_uid != ::geteuid()) {
        return std::nullopt;
    }
    const std::unique_ptr<DIR, FolderCloser> files(::opendir((process / "fd").c_str()));
    if (!files) {
        return std::nullopt;
    }
    std::array<char, 64> target{};
    int looked = 0;
    while (const dirent* entry = ::readdir(files.get())) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        if (++looked > maxFilesLooked) {
            return std::nullopt;
        }
        const ssize_t length =
            ::readlinkat(::dirfd(files.get()), entry->d_name, target.data(), target.size());
        if (length > 0 && isTerminalMultiplexer(
                              std::string_view(target.data(), static_cast<std::size_t>(length)))) {
            return true;
        }
    }
    return false;
}

} // namespace tarvo::desktop
