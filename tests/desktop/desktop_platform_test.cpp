// The instance channel over real local sockets, the login item over a real autostart folder, and
// the terminal probe over this process's own files.

#include <desktop/platform/autostart_login_item.hpp>
#include <desktop/platform/desktop_session.hpp>
#include <desktop/platform/instance_channel.hpp>
#include <desktop/platform/proc_terminal_probe.hpp>

#include "desktop/qt_event_loop.hpp"
#include "support/child_process.hpp"
#include "support/temporary_folder.hpp"

#include <capturekit/platform/instance_socket.hpp>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <future>

using namespace std::chrono_literals;
using capturekit::instance::Delivery;
using tarvo::desktop::AutostartLoginItem;
using tarvo::desktop::InstanceChannel;
using tarvo::desktop::InstanceChannelLimits;
using tarvo::test::runEventsUntil;

namespace {

sockaddr_un socketAddress(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    return address;
}

// A Unix socket bound or connected (`step`) to the path.
int unixSocket(const std::filesystem::path& path, int (*step)(int, const sockaddr*, socklen_t)) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = socketAddress(path);
    EXPECT_EQ(step(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0) << path;
    return fd;
}

std::size_t openFileCount() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// Whether the other end closed the connection: a read finds its end without data.
bool closedByPeer(int fd) {
    char byte = 0;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

// This process's limit of open files, set for a while.
class FileLimit {
public:
    explicit FileLimit(rlim_t soft) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit changed = saved_;
        changed.rlim_cur = soft;
        EXPECT_EQ(::setrlimit(RLIMIT_NOFILE, &changed), 0);
    }
    ~FileLimit() { restore(); }
    void restore() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

private:
    rlimit saved_{};
};

struct InstanceChannelTest : testing::Test {
    InstanceChannelTest() { tarvo::test::qtApplication(); }
    tarvo::test::TemporaryFolder folder;
    std::filesystem::path socket = folder / "app.socket";

    // Sends from another thread while this one runs the channel's event loop.
    Delivery send(const std::vector<std::string>& arguments) {
        auto delivery = std::async(std::launch::async, [&] {
            return capturekit::instance::sendArguments(socket, arguments, 5s);
        });
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return delivery.wait_for(0ms) == std::future_status::ready; }, 10000));
        return delivery.get();
    }
};

TEST_F(InstanceChannelTest, ASocketLeftByACrashedAppIsReplacedAndRequestsNotOursAreRefused) {
    // A bound socket whose process is gone: the file stays, nobody accepts on it.
    ::close(unixSocket(socket, &::bind));
    EXPECT_EQ(send({"--show-menu"}), Delivery::noInstance);

    InstanceChannel channel(socket);
    ASSERT_EQ(channel.claim({}), InstanceChannel::Role::primary);
    QSignalSpy received(&channel, &InstanceChannel::argumentsReceived);
    EXPECT_EQ(capturekit::instance::decodeRequest("{\"show\": true}"), std::nullopt);
    EXPECT_EQ(capturekit::instance::decodeRequest("[\"a\", 1]"), std::nullopt);
    auto raw = std::async(std::launch::async, [&] {
        const int fd = unixSocket(socket, &::connect);
        ::send(fd, "not json\n", 9, MSG_NOSIGNAL);
        char answer[8] = {};
        const auto count = ::recv(fd, answer, sizeof(answer), 0);
        ::close(fd);
        return count;
    });
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return raw.wait_for(0ms) == std::future_status::ready; }, 10000));
    EXPECT_LE(raw.get(), 0) << "closed without an answer";

    EXPECT_EQ(send({"--open-surface", "composer"}), Delivery::delivered);
    ASSERT_TRUE(received.count() == 1 || received.wait(5000));
    EXPECT_EQ(received.at(0).at(0).toStringList(), (QStringList{"--open-surface", "composer"}));
}

TEST_F(InstanceChannelTest, TwoThousandIdleConnectionsNeitherStopTheChannelNorStayOpen) {
    // A desktop's usual limit, which that many connections kept open would pass.
    FileLimit limit(1024);
    InstanceChannel channel(socket);
    ASSERT_EQ(channel.claim({}), InstanceChannel::Role::primary);
    const std::size_t filesBefore = openFileCount();

    // Another process connects 2,000 times and sends nothing; it writes a byte when done.
    int done[2];
    ASSERT_EQ(::pipe(done), 0);
    const sockaddr_un address = socketAddress(socket);
    const pid_t idler = ::fork();
    if (idler == 0) {
        rlimit room{4096, 4096};
        ::setrlimit(RLIMIT_NOFILE, &room);
        for (int count = 0; count < 2000; ++count) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
        }
        [[maybe_unused]] const auto written = ::write(done[1], "x", 1);
        char wait = 0;
        [[maybe_unused]] const auto read = ::read(done[0], &wait, 1); // ended by the test first
        ::_exit(0);
    }
    ::close(done[1]);
    const bool connected = runEventsUntil(
        [&] {
            pollfd ready{done[0], POLLIN, 0};
            return ::poll(&ready, 1, 0) == 1;
        },
        120s);
    const std::size_t filesAfter = openFileCount();
    const auto delivery = send({"--show-menu"});
    ::kill(idler, SIGKILL);
    ::waitpid(idler, nullptr, 0);
    ::close(done[0]);

    ASSERT_TRUE(connected);
    EXPECT_LE(channel.connectionCount(), InstanceChannelLimits{}.maxConnections);
    EXPECT_LE(filesAfter, filesBefore + InstanceChannelLimits{}.maxConnections);
    EXPECT_EQ(delivery, Delivery::delivered);
}

TEST_F(InstanceChannelTest, QuietConnectionsAreClosedAndTheChannelListensAgainAfterAFailure) {
    InstanceChannel channel(socket,
                            {.idleTimeout = 300ms, .maxConnections = 3, .relistenInterval = 100ms});
    ASSERT_EQ(channel.claim({}), InstanceChannel::Role::primary);
    std::vector<int> quiet;
    for (int count = 0; count < 5; ++count) {
        quiet.push_back(unixSocket(socket, &::connect));
    }
    // Beyond three, the oldest go first; the rest once they have been quiet for a while.
    EXPECT_TRUE(
        runEventsUntil([&] { return closedByPeer(quiet[0]) && closedByPeer(quiet[1]); }, 5s));
    EXPECT_TRUE(runEventsUntil([&] { return closedByPeer(quiet[4]); }, 10s));
    EXPECT_EQ(channel.connectionCount(), 0U);
    for (const int fd : quiet) {
        ::close(fd);
    }

    // Accepting fails when this process can open no more files, and the server then stops.
    const int waiting = unixSocket(socket, &::connect);
    const int lowestFree = ::dup(0);
    ::close(lowestFree);
    {
        FileLimit full(static_cast<rlim_t>(lowestFree));
        EXPECT_TRUE(runEventsUntil([&] { return !std::filesystem::exists(socket); }, 5s));
    }
    ::close(waiting);
    EXPECT_TRUE(runEventsUntil([&] { return std::filesystem::exists(socket); }, 5s));
    EXPECT_EQ(send({"--quick-entry"}), Delivery::delivered);
}

TEST(AutostartLoginItemTest, RegisteringWritesAnEntryThatStartsTheAppAndUnregisteringRemovesIt) {
    tarvo::test::TemporaryFolder folder;
    AutostartLoginItem item(folder / "autostart" / "app.desktop",
                            "/opt/my apps/tarvo-capture-desktop");
    EXPECT_FALSE(item.isEnabled());
    ASSERT_TRUE(item.setEnabled(true));
    EXPECT_TRUE(item.isEnabled());
    std::ifstream entry(item.entry());
    const std::string text((std::istreambuf_iterator<char>(entry)), {});
    EXPECT_NE(text.find("\nExec=\"/opt/my apps/tarvo-capture-desktop\"\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\nX-GNOME-Autostart-Delay=3\n"), std::string::npos) << text;

    std::ofstream(item.entry(), std::ios::app) << "Hidden=true\n";
    EXPECT_FALSE(item.isEnabled()) << "a hidden entry does not start anything";
    ASSERT_TRUE(item.setEnabled(false));
    EXPECT_FALSE(std::filesystem::exists(item.entry()));
    EXPECT_TRUE(item.setEnabled(false)) << "nothing to remove is no failure";

    std::ofstream(folder / "blocked") << "a file where the folder should be";
    AutostartLoginItem blocked(folder / "blocked" / "app.desktop", "/usr/bin/true");
    const auto refused = blocked.setEnabled(true);
    ASSERT_FALSE(refused);
    EXPECT_FALSE(refused.error().empty());
    EXPECT_FALSE(blocked.isEnabled());
}

TEST(AutostartLoginItemTest, APathThatWouldBreakTheEntryIsRefusedAndALinkInItsPlaceIsNotFollowed) {
    tarvo::test::TemporaryFolder folder;
    const auto entry = folder / "autostart" / "app.desktop";
    for (const std::string& path : std::initializer_list<std::string>{
             "/opt/x\nExec=/bin/sh -c true", std::string("/opt/x\0y", 8), "/opt/x\ty",
             "/opt/caf\xe9/app", "/opt/\xc2\x85/app"}) {
        const auto refused = AutostartLoginItem(entry, path).setEnabled(true);
        ASSERT_FALSE(refused) << path;
        EXPECT_EQ(refused.error(), "the app’s path has a control character or invalid UTF-8");
        EXPECT_FALSE(std::filesystem::exists(entry));
    }

    const auto elsewhere = folder / "someone else's file";
    std::ofstream(elsewhere) << "kept";
    std::filesystem::create_directories(entry.parent_path());
    std::filesystem::create_symlink(elsewhere, entry);
    ASSERT_TRUE(AutostartLoginItem(entry, "/usr/bin/tarvo-capture-desktop").setEnabled(true));
    std::ifstream kept(elsewhere);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept");
    const auto status = std::filesystem::symlink_status(entry);
    EXPECT_EQ(status.type(), std::filesystem::file_type::regular);
    EXPECT_EQ(status.permissions() & std::filesystem::perms::all, std::filesystem::perms(0644));
}

// Reads Exec back as GLib starts an entry: the key file's string unescaping, the field codes
// ("%%" is "%"), then the shell-like splitting; gives the arguments, each ended by a NUL.
constexpr const char* glibExec = R"(
import sys
from gi.repository import GLib
entry = GLib.KeyFile()
entry.load_from_file(sys.argv[1], GLib.KeyFileFlags.NONE)
line = entry.get_string("Desktop Entry", "Exec")
expanded, index = "", 0
while index < len(line):
    if line[index] == "%" and index + 1 < len(line):
        expanded += "%" if line[index + 1] == "%" else ""
        index += 2
    else:
        expanded += line[index]
        index += 1
parsed, argv = GLib.shell_parse_argv(expanded)
sys.stdout.buffer.write(b"".join(word.encode() + b"\0" for word in argv))
)";

TEST(AutostartLoginItemTest, ExecNamesTheProgramExactlyAsGLibReadsIt) {
    tarvo::test::TemporaryFolder folder;
    const auto entry = folder / "app.desktop";
    for (const std::string path :
         {"/usr/bin/tarvo-capture-desktop", "/opt/my apps/tarvo", "/opt/\"quoted\"/it's",
          "/opt/100%/%f %u %%", "/opt/back\\slash\\\\/x", "/opt/$HOME/${x}", "/opt/`id`/$(id)",
          "/opt/a;b|c&d>e<f*g?h#i~j(k)l", "/opt/ünïcødé ☃/app", "/opt/x\\\"y\\'z"}) {
        ASSERT_TRUE(AutostartLoginItem(entry, path).setEnabled(true)) << path;
        auto reader =
            tarvo::test::ChildProcess::start("/usr/bin/python3", {"-c", glibExec, entry.string()},
                                             {}, tarvo::test::ChildProcess::Errors::apart);
        const auto read = reader.finish();
        ASSERT_EQ(read.exitCode, 0) << read.errors;
        EXPECT_EQ(read.output, path + std::string(1, '\0')) << path;
    }
}

} // namespace

namespace {

TEST(ProcTerminalProbeTest, AProcessHoldingAPseudoTerminalsMasterSideIsATerminal) {
    using tarvo::desktop::ActiveWindow;
    using tarvo::desktop::ProcTerminalProbe;
    ProcTerminalProbe probe;
    const auto process = [](long pid) {
        return ActiveWindow{.id = 1, .name = "", .identifier = "", .pid = pid, .title = ""};
    };
    EXPECT_EQ(probe.holdsTerminal(process(::getpid())), false);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    EXPECT_EQ(probe.holdsTerminal(process(::getpid())), true);
    ::close(master);
    EXPECT_EQ(probe.holdsTerminal(process(::getpid())), false);

    // Unknown, or gone: nothing can be told.
    EXPECT_EQ(probe.holdsTerminal(process(0)), std::nullopt);
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ::waitpid(gone, nullptr, 0);
    EXPECT_EQ(probe.holdsTerminal(process(gone)), std::nullopt);

    // Another user's process is not looked at.
    tarvo::test::TemporaryFolder proc;
    std::filesystem::create_directories(proc / "42" / "fd");
    std::filesystem::create_symlink("/dev/ptmx", proc / "42" / "fd" / "3");
    ProcTerminalProbe elsewhere(proc.path());
    EXPECT_EQ(elsewhere.holdsTerminal(process(42)), true);
    if (::geteuid() == 0) {
        ASSERT_EQ(::lchown((proc / "42").c_str(), 4242, 4242), 0);
        EXPECT_EQ(elsewhere.holdsTerminal(process(42)), std::nullopt);
    }
}

} // namespace

TEST(DesktopSessionTest, TheSessionKindFollowsQtsPlatformAndTheCompositorsDisplay) {
    using tarvo::desktop::DesktopSession;
    using tarvo::desktop::SessionKind;
    const auto x11 = DesktopSession::detect("xcb", "", "XFCE");
    EXPECT_EQ(x11.kind, SessionKind::x11);
    EXPECT_TRUE(x11.allowsX11Grabs());
    EXPECT_EQ(x11.desktop, "XFCE");
    EXPECT_EQ(x11.reason, "Qt's platform is \"xcb\" and WAYLAND_DISPLAY is unset");

    const auto xwayland = DesktopSession::detect("xcb", "wayland-0", "KDE");
    EXPECT_EQ(xwayland.kind, SessionKind::xwayland);
    EXPECT_EQ(xwayland.kindName(), "XWayland");
    EXPECT_FALSE(xwayland.allowsX11Grabs()) << "grabs would fire only over X11 windows";
    EXPECT_TRUE(xwayland.hasX11Display());

    for (const auto* display : {"wayland-1", ""}) {
        const auto native = DesktopSession::detect("wayland-egl", display, "sway");
        EXPECT_EQ(native.kind, SessionKind::wayland) << display;
        EXPECT_FALSE(native.hasX11Display());
    }
    EXPECT_EQ(DesktopSession::detect("offscreen", "wayland-1", "").kind, SessionKind::wayland);
}
