#include <vorn/network/socket_address.h>

#include <gtest/gtest.h>

namespace vorn::network {
namespace {

TEST(SocketAddress, ReadsAndPrintsText)
{
    struct Row
    {
        std::string text;
        bool accepted;
        std::string host;
        std::uint16_t port;
        std::string printed;
    };
    const Row rows[] = {
        {"127.0.0.1:8080", true, "127.0.0.1", 8080, "127.0.0.1:8080"},
        {"camera.local", true, "camera.local", 0, "camera.local:0"},
        {"camera:0", true, "camera", 0, "camera:0"},
        {"camera:65535", true, "camera", 65535, "camera:65535"},
        {"camera:65536", false, "", 0, ""},
        {"[fe80::1]:554", true, "fe80::1", 554, "[fe80::1]:554"},
        {"[::1]", true, "::1", 0, "[::1]:0"},
        {"::1", true, "::1", 0, "[::1]:0"},
        {"", false, "", 0, ""},
        {":80", false, "", 0, ""},
        {"camera:", false, "", 0, ""},
        {"camera:8o", false, "", 0, ""},
        {"camera:-1", false, "", 0, ""},
        {"camera:000080", false, "", 0, ""},
        {"[::1", false, "", 0, ""},
        {"[::1]x", false, "", 0, ""},
        {"[]:80", false, "", 0, ""},
        {"[camera]:80", false, "", 0, ""},
        {"came ra:80", false, "", 0, ""},
        {"http://camera:80", false, "", 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("text: \"" + row.text + "\"");
        const std::optional<SocketAddress> address = SocketAddress::fromString(row.text);
        ASSERT_EQ(address.has_value(), row.accepted);
        if (!address)
            continue;
        EXPECT_EQ(address->address.toString(), row.host);
        EXPECT_EQ(address->port, row.port);
        EXPECT_EQ(address->toString(), row.printed);
        EXPECT_EQ(SocketAddress::fromString(address->toString()), address); // printing reads back
    }
}

TEST(SocketAddress, IsAPlainValue)
{
    SocketAddress address(HostAddress(QString("10.0.0.5")), 8214);
    address.port = 9000;
    EXPECT_EQ(address.toString(), "10.0.0.5:9000");
    EXPECT_EQ(address, SocketAddress("10.0.0.5", 9000));
    EXPECT_NE(address, SocketAddress("10.0.0.5", 8214));
    EXPECT_TRUE(HostAddress(static_cast<const char*>(nullptr)).isEmpty());
}

} // namespace
} // namespace vorn::network
