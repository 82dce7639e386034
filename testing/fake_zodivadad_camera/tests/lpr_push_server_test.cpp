#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fake_zodivadad_camera/lpr_push_server.h>

namespace vorn::testing::zodivadad {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

uint64_t littleEndianAt(const std::string& bytes, std::size_t offset, std::size_t width)
{
    uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= uint64_t{static_cast<uint8_t>(bytes.at(offset + i))} << (8 * i);
    return value;
}

TEST(LprPacketEncoder, PlateRecordLayout)
{
    LprPlate plate;
    plate.timestampMs = 0x0102030405060708;
    plate.vehicleColor = 7;
    plate.plateColor = 8;
    plate.speed = 0x1234;
    plate.direction = 2;
    plate.country = "FR";
    plate.plateNumber = "XYZ";
    plate.vehicleKind = 5;
    plate.plateConfidence = 0.5F;
    plate.plateType = 3;
    plate.frameWidth = 1280;
    plate.frameHeight = 720;
    plate.x1 = 1;
    plate.y1 = 2;
    plate.x2 = 3;
    plate.y2 = 4;
    plate.images = {"a", "b"};

    const std::string record = encodeLprPlateRecord(plate);
    ASSERT_EQ(record.size(), 113U);
    EXPECT_EQ(littleEndianAt(record, 16, 8), 0x0102030405060708U);
    EXPECT_EQ(littleEndianAt(record, 40, 1), 7U);
    EXPECT_EQ(littleEndianAt(record, 41, 1), 8U);
    EXPECT_EQ(littleEndianAt(record, 42, 2), 0x1234U);
    EXPECT_EQ(littleEndianAt(record, 44, 1), 2U) << "image count defaults to the images given";
    EXPECT_EQ(littleEndianAt(record, 45, 1), 2U);
    EXPECT_EQ(record.substr(46, 32), std::string("FR") + std::string(30, '\0'));
    EXPECT_EQ(littleEndianAt(record, 79, 1), 3U);
    EXPECT_EQ(record.substr(80, 3), "XYZ");
    EXPECT_EQ(littleEndianAt(record, 83, 1), 5U);
    EXPECT_EQ(littleEndianAt(record, 84, 4), 0x3F000000U); // 0.5F
    EXPECT_EQ(littleEndianAt(record, 88, 1), 3U);
    EXPECT_EQ(littleEndianAt(record, 101, 2), 1280U);
    EXPECT_EQ(littleEndianAt(record, 103, 2), 720U);
    EXPECT_EQ(littleEndianAt(record, 105, 2), 1U);
    EXPECT_EQ(littleEndianAt(record, 107, 2), 2U);
    EXPECT_EQ(littleEndianAt(record, 109, 2), 3U);
    EXPECT_EQ(littleEndianAt(record, 111, 2), 4U);

    const std::string packet = encodeLprMetadataPacket({plate});
    const std::string payload = std::string("\x00\x00\xFF\x11\x71\x00\x00\x00", 8) + record +
                                std::string("\x00\x00\xFF\x22\x01\x00\x00\x00"
                                            "a",
                                            9) +
                                std::string("\x00\x00\xFF\x22\x01\x00\x00\x00"
                                            "b",
                                            9);
    EXPECT_EQ(packet, std::string("\xFF\xCC\x01\x88", 4) + std::string("\x8D\x00\x00\x00", 4) + payload + "\xDD\xFF");

    plate.imageCount = 9;
    EXPECT_EQ(littleEndianAt(encodeLprPlateRecord(plate), 44, 1), 9U);
}

// A plugin stand-in that speaks the protocol from hand-written bytes.
class LprClient
{
public:
    explicit LprClient(std::uint16_t port)
        : m_socket(m_io)
    {
        m_socket.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
    }

    void send(const std::string& bytes) { asio::write(m_socket, asio::buffer(bytes)); }

    void login(const std::string& json)
    {
        const uint32_t length = static_cast<uint32_t>(json.size() + 2);
        std::string packet("\xFF\xCC\x01\x00", 4);
        for (int i = 0; i < 4; ++i)
            packet.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
        send(packet + json + "\xDD\xFF");
    }

    std::string read(std::size_t count)
    {
        std::string bytes(count, '\0');
        asio::read(m_socket, asio::buffer(bytes));
        return bytes;
    }

    // True when the peer closes the connection within the deadline (after any bytes it sent).
    bool closedByPeer(std::chrono::seconds deadline = std::chrono::seconds(10))
    {
        std::optional<boost::system::error_code> result;
        char byte = 0;
        asio::async_read(m_socket, asio::buffer(&byte, 1),
                         [&result](boost::system::error_code error, std::size_t) { result = error; });
        m_io.restart();
        m_io.run_for(deadline);
        return result && (*result == asio::error::eof || *result == asio::error::connection_reset);
    }

private:
    asio::io_context m_io;
    tcp::socket m_socket;
};

TEST(LprPushServer, AcceptedLoginThenPushedPlates)
{
    LprPushServer camera;
    camera.setCredentials("admin", "secret");
    LprClient client(camera.port());
    client.login(R"({"id":"admin","password":"secret"})");

    const std::string reply = LprPushServer::loginReplyPacket(200);
    EXPECT_EQ(reply, std::string("\xFF\xCC\x01\x80\x10\x00\x00\x00", 8) + R"({"result":200})" + "\xDD\xFF");
    EXPECT_EQ(client.read(reply.size()), reply);
    ASSERT_TRUE(camera.waitForLogins(1));
    ASSERT_EQ(camera.logins().size(), 1U);
    EXPECT_EQ(camera.logins()[0].id, "admin");
    EXPECT_EQ(camera.logins()[0].password, "secret");
    EXPECT_EQ(camera.logins()[0].json, R"({"id":"admin","password":"secret"})");

    LprPlate plate;
    plate.images = {"jpeg"};
    EXPECT_EQ(camera.pushPlates({plate}), 1U);
    const std::string packet = encodeLprMetadataPacket({plate});
    EXPECT_EQ(client.read(packet.size()), packet);

    EXPECT_EQ(camera.pushBytes("raw"), 1U);
    EXPECT_EQ(client.read(3), "raw");

    camera.closeConnections();
    EXPECT_TRUE(client.closedByPeer());
    EXPECT_EQ(camera.pushBytes("late"), 0U);
}

TEST(LprPushServer, RefusedLoginGetsNoPushes)
{
    LprPushServer camera;
    camera.setCredentials("admin", "secret");
    LprClient client(camera.port());
    client.login(R"({"id":"admin","password":"wrong"})");
    const std::string reply = LprPushServer::loginReplyPacket(401);
    EXPECT_EQ(client.read(reply.size()), reply);
    ASSERT_TRUE(camera.waitForLogins(1));
    EXPECT_EQ(camera.pushPlates({LprPlate()}), 0U);
}

TEST(LprPushServer, LoginHandlerChoosesTheAnswer)
{
    LprPushServer camera;
    const std::string answer = LprPushServer::loginReplyPacket(200) + encodeLprMetadataPacket({LprPlate()});
    camera.setLoginHandler([&answer](const LprPushServer::Login&) { return LprPushServer::LoginAnswer{answer, true}; });
    LprClient client(camera.port());
    client.login("{}");
    EXPECT_EQ(client.read(answer.size()), answer);
}

TEST(LprPushServer, MalformedLoginClosesTheConnection)
{
    const struct
    {
        const char* name;
        std::string bytes;
    } rows[] = {
        {"bad start marker", std::string("\xFF\xCD\x01\x00\x02\x00\x00\x00\xDD\xFF", 10)},
        {"metadata type", std::string("\xFF\xCC\x01\x88\x02\x00\x00\x00\xDD\xFF", 10)},
        {"length past the fake's limit", std::string("\xFF\xCC\x01\x00\x01\x00\x01\x00", 8)},
        {"end marker missing", std::string("\xFF\xCC\x01\x00\x04\x00\x00\x00{}\xDD\xFE", 12)},
    };
    LprPushServer camera;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LprClient client(camera.port());
        client.send(row.bytes);
        EXPECT_TRUE(client.closedByPeer());
    }
    EXPECT_TRUE(camera.logins().empty());
    EXPECT_EQ(camera.connectionCount(), 4U);
}

} // namespace
} // namespace vorn::testing::zodivadad
