// The instance channel over real local sockets, and the login item over a real autostart folder.

#include <desktop/platform/autostart_login_item.hpp>
#include <desktop/platform/instance_channel.hpp>

#include "desktop/qt_event_loop.hpp"
#include "support/temporary_folder.hpp"

#include <capturekit/platform/instance_socket.hpp>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <future>

using namespace std::chrono_literals;
using capturekit::instance::Delivery;
using tarvo::desktop::AutostartLoginItem;
using tarvo::desktop::InstanceChannel;

namespace {

// A Unix socket bound or connected (`step`) to the path.
int unixSocket(const std::filesystem::path& path, int (*step)(int, const sockaddr*, socklen_t)) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    EXPECT_EQ(step(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0) << path;
    return fd;
}

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
    EXPECT_EQ(AutostartLoginItem::execArgument("/usr/bin/a$b%c"), "\"/usr/bin/a\\\\$b%%c\"");

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

} // namespace
