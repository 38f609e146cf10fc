// Queues captures into the outbox folder it is given until it is killed, for the crash test.
// Usage: outbox_crash_child FOLDER FIRST COUNT
// Before each enqueue it writes "b N" and after it "d N" (saved) or "f N" (not saved), one line
// each, straight to standard output; after COUNT items it waits to be killed.

#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/platform/application_info.hpp>

#include <unistd.h>

#include <string>

using namespace capturekit;

namespace {

void report(char what, int number) {
    const std::string line = std::string(1, what) + " " + std::to_string(number) + "\n";
    if (::write(STDOUT_FILENO, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        ::_exit(3);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        return 2;
    }
    application::markRunningUnderTestRunner(); // the test runner's owner mark
    CaptureOutbox::setDirectoryOverride(std::filesystem::path(argv[1]));
    const int first = std::stoi(argv[2]);
    const int count = std::stoi(argv[3]);
    const std::string screenshot = "data:image/jpeg;base64," + std::string(24 * 1024, 'Q');
    for (int number = first; number < first + count; ++number) {
        const std::string title = "item " + std::to_string(number);
        const CaptureIngestRequest request{
            {.content = title, .tags = {"crash"}, .screenshot = screenshot}};
        report('b', number);
        const bool saved = CaptureOutbox::enqueue(request, "key-" + std::to_string(number),
                                                  Destination::stash, title);
        report(saved ? 'd' : 'f', number);
    }
    while (true) {
        ::pause();
    }
}
