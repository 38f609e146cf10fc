#include <desktop/platform/wayland/data_control_primary.hpp>
#include <desktop/platform/wayland/descriptor_wait.hpp>

#include "support/temporary_folder.hpp"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <thread>

namespace tarvo::desktop {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A pipe whose ends close with the object; `closeWriter` lets a reader see the end of the data.
struct Pipe {
    std::array<int, 2> ends{-1, -1};
    Pipe() { EXPECT_EQ(::pipe(ends.data()), 0); }
    ~Pipe() {
        ::close(ends[0]);
        closeWriter();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int reader() const { return ends[0]; }
    void write(const std::string& bytes) {
        ASSERT_EQ(::write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void closeWriter() {
        if (ends[1] >= 0) {
            ::close(ends[1]);
            ends[1] = -1;
        }
    }
};

TEST(DataControlPrimaryTest, AsksForUTF8TextFirstAndReadsLatin1AsSuchAndNothingElse) {
    // The order the owner lists its types in does not matter.
    EXPECT_EQ(DataControlPrimary::textType({"STRING", "TEXT", "text/plain", "UTF8_STRING",
                                            "text/plain;charset=utf-8", "text/html"}),
              "text/plain;charset=utf-8");
    EXPECT_EQ(DataControlPrimary::textType({"STRING", "text/plain", "UTF8_STRING"}), "UTF8_STRING");
    EXPECT_EQ(DataControlPrimary::textType({"STRING", "TEXT", "text/plain"}), "text/plain");
    EXPECT_EQ(DataControlPrimary::textType({"image/png", "STRING"}), "STRING");
    // Pictures, files and rich text alone are no selected text; neither are near misses.
    EXPECT_EQ(DataControlPrimary::textType({"image/png", "text/uri-list", "text/html",
                                            "text/plain;charset=iso-8859-1", "utf8_string"}),
              std::nullopt);
    EXPECT_EQ(DataControlPrimary::textType({}), std::nullopt);

    EXPECT_EQ(DataControlPrimary::asUTF8("caf\xe9 \xbd", "STRING"), "café ½");
    EXPECT_EQ(DataControlPrimary::asUTF8("café ½", "text/plain;charset=utf-8"), "café ½");
    EXPECT_EQ(DataControlPrimary::asUTF8("café ½", "UTF8_STRING"), "café ½");
}

TEST(DescriptorWaitTest, ReadsUntilTheWriterClosesButNeverPastTheDeadlineOrTheLimit) {
    {
        // Parts written over time, then the end.
        Pipe pipe;
        std::thread writer([&] {
            for (const char* part : {"first ", "second ", "third"}) {
                std::this_thread::sleep_for(20ms);
                pipe.write(part);
            }
            pipe.closeWriter();
        });
        EXPECT_EQ(readUntilClosed(pipe.reader(), 1024, Clock::now() + 30s), "first second third");
        writer.join();
    }
    {
        // An owner that takes the request and never writes nor closes: the read ends by the
        // deadline, not before, and not much after.
        Pipe pipe;
        pipe.write("partial");
        const auto start = Clock::now();
        EXPECT_EQ(readUntilClosed(pipe.reader(), 1024, start + 300ms), std::nullopt);
        const auto waited = Clock::now() - start;
        EXPECT_GE(waited, 300ms);
        EXPECT_LT(waited, 5s);
    }
    {
        // Exactly the limit is read; one byte more is not, however fast it comes.
        Pipe pipe;
        std::thread writer([&] {
            pipe.write(std::string(100 * 1024, 'a'));
            pipe.closeWriter();
        });
        EXPECT_EQ(readUntilClosed(pipe.reader(), 100 * 1024, Clock::now() + 30s)->size(),
                  100U * 1024U);
        writer.join();
    }
    {
        // An owner that writes more than the limit is cut off there, not read to its end.
        Pipe pipe;
        std::thread writer([&] {
            pipe.write(std::string(256 * 1024, 'b'));
            pipe.closeWriter();
        });
        EXPECT_EQ(readUntilClosed(pipe.reader(), 100 * 1024, Clock::now() + 30s), std::nullopt);
        std::array<char, 4096> rest{};
        while (::read(pipe.reader(), rest.data(), rest.size()) > 0) {
        }
        writer.join();
    }
}

// A socket where a compositor would be that takes connections and never answers.
class SilentCompositor {
public:
    explicit SilentCompositor(const std::filesystem::path& path)
        : socket_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        EXPECT_EQ(::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
        EXPECT_EQ(::listen(socket_, 8), 0);
    }
    ~SilentCompositor() { ::close(socket_); }
    SilentCompositor(const SilentCompositor&) = delete;
    SilentCompositor& operator=(const SilentCompositor&) = delete;

private:
    int socket_;
};

TEST(DataControlPrimaryTest, AbsentAtOnceWithoutACompositorAndByTheDeadlineWithAStuckOne) {
    const test::TemporaryFolder folder;
    const auto far = Clock::now() + 30s;
    auto start = Clock::now();
    EXPECT_EQ(DataControlPrimary("").read(far), std::nullopt);
    EXPECT_EQ(DataControlPrimary((folder / "wayland-none").string()).read(far), std::nullopt);
    EXPECT_EQ(DataControlPrimary((folder / "wayland-none").string()).protocol(far), std::nullopt);
    EXPECT_LT(Clock::now() - start, 5s);

    const SilentCompositor stuck(folder / "wayland-stuck");
    const DataControlPrimary reader((folder / "wayland-stuck").string());
    for (const bool readsText : {true, false}) {
        start = Clock::now();
        const auto answer = readsText ? reader.read(start + 300ms).has_value()
                                      : reader.protocol(start + 300ms).has_value();
        const auto waited = Clock::now() - start;
        EXPECT_FALSE(answer);
        EXPECT_GE(waited, 300ms);
        EXPECT_LT(waited, 5s);
    }
}

} // namespace
} // namespace tarvo::desktop
