#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <QtCore/QCryptographicHash>
#include <QtCore/QJsonDocument>

#include <fake_zodivadad_camera/vca_push_server.h>
#include <fake_zodivadad_camera/vca_wire.h>

namespace vorn::testing {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace vca_wire;

TEST(VcaWire, Crc16IsArc)
{
    EXPECT_EQ(crc16("123456789"), 0xBB3D);
    EXPECT_EQ(crc16(""), 0);
}

TEST(VcaWire, FrameLayout)
{
    const std::string bytes = frame(kVcaCountCommand, "{}", 1);
    ASSERT_EQ(bytes.size(), kHeaderSize + 2);
    const std::uint16_t crc = crc16("{}");
    const std::string expectedHeader{'\x20',
                                     '\x20',
                                     '\x06',
                                     '\x02',
                                     '\x01',
                                     '\x01',
                                     static_cast<char>(crc >> 8),
                                     static_cast<char>(crc & 0xFF),
                                     0,
                                     0,
                                     0,
                                     2,
                                     0,
                                     0,
                                     0,
                                     1};
    EXPECT_EQ(bytes.substr(0, kHeaderSize), expectedHeader);
    EXPECT_EQ(chunk(1, -2, "ab"), std::string("\x01\xFE\xFF\xFF\xFF"
                                              "ab",
                                              7));
}

TEST(VcaWire, ReadFrame)
{
    const std::string sound = frame(kRegisterCommand, R"({"a":1})");
    const struct
    {
        const char* name;
        std::string bytes;
        ReadStatus status;
        std::size_t left;
    } rows[] = {
        {"header cut short", sound.substr(0, kHeaderSize - 1), ReadStatus::needMore, kHeaderSize - 1},
        {"payload cut short", sound.substr(0, sound.size() - 1), ReadStatus::needMore, sound.size() - 1},
        {"sound, with the next frame behind", sound + sound, ReadStatus::frame, sound.size()},
        {"bad magic", frame(FrameHeader().withMagic(0x20200603), "{}"), ReadStatus::bad, kHeaderSize + 2},
        {"bad checksum", frame(FrameHeader().withChecksum(1), "{}"), ReadStatus::bad, kHeaderSize + 2},
        {"size past the limit", frame(FrameHeader().withPayloadSize(kMaxPayloadSize + 1), ""), ReadStatus::bad,
         kHeaderSize},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string buffer = row.bytes;
        Frame out;
        EXPECT_EQ(readFrame(&buffer, &out), row.status);
        EXPECT_EQ(buffer.size(), row.left);
        if (row.status == ReadStatus::frame) {
            EXPECT_EQ(out.command, kRegisterCommand);
            EXPECT_EQ(out.version, 2u);
            EXPECT_EQ(out.payload, R"({"a":1})");
        }
    }
}

//-------------------------------------------------------------------------------------------------

// A blocking client that speaks the protocol through the fake's own framing.
class Client
{
public:
    explicit Client(std::uint16_t port)
    {
        m_socket.connect(tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), port));
    }

    void send(const std::string& bytes) { asio::write(m_socket, asio::buffer(bytes)); }

    void registerWith(const QJsonObject& request)
    {
        send(frame(kRegisterCommand, QJsonDocument(request).toJson(QJsonDocument::Compact).toStdString()));
    }

    // The next frame, or none when the connection ends first.
    std::optional<Frame> readFrame()
    {
        for (;;) {
            Frame out;
            if (vca_wire::readFrame(&m_received, &out) == ReadStatus::frame)
                return out;
            char chunk[4096];
            boost::system::error_code error;
            const std::size_t count = m_socket.read_some(asio::buffer(chunk), error);
            if (error)
                return std::nullopt;
            m_received.append(chunk, count);
        }
    }

    QJsonObject readReply()
    {
        const std::optional<Frame> reply = readFrame();
        if (!reply)
            return {};
        EXPECT_EQ(reply->command, kRegisterCommand);
        return QJsonDocument::fromJson(QByteArray::fromStdString(reply->payload)).object();
    }

    // The bytes until the peer closes.
    std::string readToEnd()
    {
        std::string rest = std::move(m_received);
        boost::system::error_code error;
        std::string tail;
        asio::read(m_socket, asio::dynamic_buffer(tail), error);
        return rest + tail;
    }

private:
    asio::io_context m_io;
    tcp::socket m_socket{m_io};
    std::string m_received;
};

QString md5(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

QJsonObject digestRequest(const QJsonObject& challenge, const QString& password, const QString& uri)
{
    const QString realm = challenge["realm"].toString();
    const QString nonce = challenge["nonce"].toString();
    const QString ha1 = md5("admin:" + realm + ":" + password);
    const QString ha2 = md5("GET:" + uri);
    return {{"vcaalarm", "1"},    {"user", "admin"},
            {"streamid", 0},      {"Authorization", "Digest"},
            {"cmd", "GET"},       {"realm", realm},
            {"nonce", nonce},     {"uri", uri},
            {"qop", "auth"},      {"nc", "00000001"},
            {"cnonce", "c0ffee"}, {"response", md5(ha1 + ":" + nonce + ":00000001:c0ffee:auth:" + ha2)}};
}

TEST(VcaPushServer, AnswersPlainRegistrationsAndRecordsThem)
{
    VcaPushServer camera;
    camera.setSectionAnswer("vcaalarm", 0);
    Client client(camera.port());
    client.registerWith({{"vcaalarm", "1"}, {"user", "admin"}, {"password", "secret"}, {"streamid", 0}});

    EXPECT_EQ(client.readReply(), (QJsonObject{{"result", 200}, {"vcaalarm", 0}}));
    ASSERT_EQ(camera.registrations().size(), 1u);
    const VcaPushServer::Registration registration = camera.registrations().front();
    EXPECT_EQ(registration.connection, 1u);
    EXPECT_EQ(registration.json["password"].toString(), "secret");
    EXPECT_FALSE(registration.hasDigest);

    camera.setRegistrationResult(500);
    client.registerWith({});
    EXPECT_EQ(client.readReply()["result"].toInt(), 500);
}

TEST(VcaPushServer, ChallengesAndChecksDigest)
{
    VcaPushServer camera;
    camera.requireDigest("admin", "secret", "cam");
    const std::string behind = frame(kBasicAlarmCommand, R"({"event":1})");
    camera.setBehindAcceptance(behind);

    const struct
    {
        const char* name;
        QString password;
        QString uri;
        int result;
    } rows[] = {
        {"right answer", "secret", "ipcsdk", 200},
        {"wrong password", "guess", "ipcsdk", 401},
        {"wrong uri", "secret", "/", 401},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Client client(camera.port());
        client.registerWith({{"vcaalarm", "1"}, {"user", "admin"}, {"password", "secret"}, {"streamid", 0}});
        const QJsonObject challenge = client.readReply();
        EXPECT_EQ(challenge["result"].toInt(), 401);
        EXPECT_EQ(challenge["realm"].toString(), "cam");
        EXPECT_EQ(challenge["qop"].toString(), "auth");
        EXPECT_FALSE(challenge["nonce"].toString().isEmpty());

        client.registerWith(digestRequest(challenge, row.password, row.uri));
        EXPECT_EQ(client.readReply()["result"].toInt(), row.result);
        if (row.result == 200) {
            const std::optional<Frame> push = client.readFrame();
            ASSERT_TRUE(push);
            EXPECT_EQ(push->command, kBasicAlarmCommand);
        }
        EXPECT_EQ(camera.registrations().back().digestValid, row.result == 200);
    }

    // A nonce of another connection does not count.
    Client first(camera.port());
    first.registerWith({{"user", "admin"}});
    const QJsonObject challenge = first.readReply();
    Client second(camera.port());
    second.registerWith(digestRequest(challenge, "secret", "ipcsdk"));
    EXPECT_EQ(second.readReply()["result"].toInt(), 401);
}

TEST(VcaPushServer, PushesToTheLatestConnectionAndMisbehaves)
{
    VcaPushServer camera;
    Client old(camera.port());
    Client client(camera.port());
    ASSERT_TRUE(camera.waitForConnections(2));

    const std::string alarm = frame(kVcaAlarmCommand, jsonChunk(R"({"event":4})") + imageChunk("JPEG"));
    ASSERT_TRUE(camera.pushInPieces(alarm + alarm, {3, alarm.size() + 20}));
    for (int i = 0; i < 2; ++i) {
        const std::optional<Frame> push = client.readFrame();
        ASSERT_TRUE(push);
        EXPECT_EQ(push->command, kVcaAlarmCommand);
        EXPECT_EQ(push->payload, jsonChunk(R"({"event":4})") + imageChunk("JPEG"));
    }

    // The timed push tells when its bytes went out: within the call.
    const auto beforePush = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point writeStart;
    ASSERT_TRUE(camera.push("garbage", &writeStart));
    EXPECT_GE(writeStart, beforePush);
    EXPECT_LE(writeStart, std::chrono::steady_clock::now());
    camera.closeConnections();
    EXPECT_EQ(client.readToEnd(), "garbage");
    EXPECT_EQ(old.readToEnd(), "");
    EXPECT_FALSE(camera.push("nobody listens"));

    camera.stopListening();
    asio::io_context io;
    tcp::socket refused(io);
    boost::system::error_code error;
    refused.connect(tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), camera.port()), error);
    EXPECT_EQ(error, asio::error::connection_refused);

    camera.resumeListening();
    Client again(camera.port());
    EXPECT_TRUE(camera.waitForConnections(3));
}

TEST(VcaPushServer, ClosesOnBadFramesAndUsesTheReplyHandler)
{
    VcaPushServer camera;
    camera.setReplyHandler([](const VcaPushServer::Registration& registration) {
        return registration.json.contains("user") ? std::string("not a frame") : std::string();
    });

    Client client(camera.port());
    client.registerWith({{"user", "admin"}});
    client.registerWith({});
    client.send(frame(FrameHeader().withChecksum(0), "{}"));
    EXPECT_EQ(client.readToEnd(), "not a frame");
    EXPECT_EQ(camera.badFrameCount(), 1u);
    EXPECT_EQ(camera.registrations().size(), 2u);
}

} // namespace
} // namespace vorn::testing
