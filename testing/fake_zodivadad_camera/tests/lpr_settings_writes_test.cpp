#include <string>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fake_zodivadad_camera/lpr_settings_writes.h>

namespace vorn::testing::zodivadad {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using ::testing::ElementsAre;
using ::testing::Pair;

// One GET over a fresh connection, read to the end (the fake closes after "Connection: close"); the reply.
std::string get(std::uint16_t port, const std::string& target)
{
    asio::io_context io;
    tcp::socket socket(io);
    socket.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    asio::write(socket, asio::buffer(request));
    std::string reply;
    boost::system::error_code error;
    asio::read(socket, asio::dynamic_buffer(reply), error);
    return reply;
}

TEST(LprSettingsWrites, KeepsEachWriteWithItsKeyOrder)
{
    FakeZodivadadCamera camera;
    const auto ok = ::testing::StartsWith("HTTP/1.1 200");
    EXPECT_THAT(get(camera.httpPort(), "/cgi-bin/operator/operator.cgi?action=get.lpr.settings"), ok);
    EXPECT_THAT(get(camera.httpPort(), "/cgi-bin/operator/operator.cgi?action=set.lpr.settings&lpr_b=1&lpr_a=0"), ok);
    EXPECT_THAT(get(camera.httpPort(), "/cgi-bin/operator/operator.cgi?lpr_c=1&action=set.lpr.settings"), ok);
    get(camera.httpPort(), "/cgi-bin/admin/admin.cgi?action=set.lpr.settings&x=1"); // Not the settings script.

    const std::vector<LprSettingsWrite> writes = lprSettingsWrites(camera);
    ASSERT_EQ(writes.size(), 2U);
    EXPECT_THAT(writes[0].items, ElementsAre(Pair("lpr_b", "1"), Pair("lpr_a", "0")));
    EXPECT_TRUE(writes[0].actionFirst);
    EXPECT_THAT(writes[1].items, ElementsAre(Pair("lpr_c", "1")));
    EXPECT_FALSE(writes[1].actionFirst);
    EXPECT_THAT(camera.lprSettings(), ElementsAre(Pair("lpr_a", "0"), Pair("lpr_b", "1"), Pair("lpr_c", "1")));
}

} // namespace
} // namespace vorn::testing::zodivadad
