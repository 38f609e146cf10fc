#include "cli/tarvo_capture_run.hpp"

#include <support/temporary_folder.hpp>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tarvo::test {

namespace {

std::string contents(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

[[noreturn]] void execute(const std::vector<std::string>& arguments, const CommandOptions& options,
                          const EnvironmentVariables& environment,
                          const tarvo::test::TemporaryFolder& io) {
    const auto redirect = [](const std::filesystem::path& file, int flags, int target) {
        const int descriptor = ::open(file.c_str(), flags, 0600);
        if (descriptor < 0 || ::dup2(descriptor, target) < 0) {
            ::_exit(127);
        }
        ::close(descriptor);
    };
    redirect(io / "in", O_RDONLY, STDIN_FILENO);
    redirect(io / "out", O_WRONLY | O_CREAT | O_TRUNC, STDOUT_FILENO);
    redirect(io / "err", O_WRONLY | O_CREAT | O_TRUNC, STDERR_FILENO);
    ::setenv("TARVO_SECRET_STORE", "file", 1);
    if (options.apiBase) {
        ::setenv("TARVO_API_BASE", options.apiBase->c_str(), 1);
    }
    for (const auto& [name, value] : environment) {
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<char*> argv{const_cast<char*>(TARVO_CAPTURE_EXECUTABLE)};
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(TARVO_CAPTURE_EXECUTABLE, argv.data());
    ::_exit(127);
}

} // namespace

CommandResult runTarvoCapture(const std::vector<std::string>& arguments,
                              const CommandOptions& options,
                              const EnvironmentVariables& environment) {
    const tarvo::test::TemporaryFolder io;
    std::ofstream(io / "in", std::ios::binary) << options.input;
    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error("cannot start tarvo-capture");
    }
    if (child == 0) {
        execute(arguments, options, environment, io);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), contents(io / "out"),
            contents(io / "err")};
}

} // namespace tarvo::test
