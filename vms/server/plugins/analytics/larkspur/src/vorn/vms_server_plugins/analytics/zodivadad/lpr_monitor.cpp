#include "lpr_monitor.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>

#include <QtNetwork/QAuthenticator>

#include <vorn/kit/json.h>
#include <vorn/log_support/assert.h>
#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/network/http/credentials.h>
#include <vorn/network/http/status_code.h>
#include <vorn/sdk/analytics/helpers/object_metadata.h>
#include <vorn/sdk/helpers/uuid.h>

#include "camera_settings.h"
#include "channel_factory.h"
#include "device_agent.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

using vorn::log_support::PeerText;

using sdk::Attribute;
using sdk::AttributeType;
using sdk::makePtr;
using sdk::Ptr;
using sdk::analytics::BoundingBox;
using sdk::analytics::ObjectMetadata;
using sdk::analytics::ObjectMetadataPacket;
using sdk::analytics::ObjectTrackBestShotPacket;
using Json = vorn::kit::detail::json11::Json;

const std::string LprMonitor::kLicensePlateObjectTypeId = "vorn.zodivadad.LicensePlate";

namespace {

constexpr char kVehicleObjectTypePrefix[] = "vorn.zodivadad.";
constexpr char kPlateAttributesPrefix[] = "License Plate";
constexpr int32_t kCameraTimeFlag = 1; //< Flag bit 0: the timestamp came from the camera.

constexpr BoundingBox kNoBox{-1, -1, -1, -1};

// The decimal integer at the start of a text: leading white space, an optional sign, digits; anything
// after them is ignored, no digits give 0, and values beyond the int range saturate.
int leadingInteger(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1; // Saturated; further digits change nothing.
    }
    if (negative)
        return static_cast<int>(-value);
    return static_cast<int>(std::min<long long>(value, INT_MAX));
}

int loginResultCode(const Json& reply)
{
    const Json& result = reply["result"];
    if (result.is_string())
        return leadingInteger(result.string_value());
    if (result.is_number())
        return result.int_value();
    return 0;
}

Ptr<Attribute> makeAttribute(std::string name, std::string value, float confidence)
{
    return makePtr<Attribute>(AttributeType::string, std::move(name), std::move(value), confidence);
}

std::string attributeName(const std::string& prefix, const char* name)
{
    return prefix.empty() ? std::string(name) : prefix + "." + name;
}

std::optional<std::string> plateTypeName(uint8_t code)
{
    switch (code) {
    case 1:
        return "Black";
    case 2:
        return "White";
    case 3:
        return "Visitor";
    default:
        return std::nullopt;
    }
}

std::optional<std::string> vehicleTypeAttribute(uint8_t kind)
{
    switch (kind) {
    case 2:
        return "Motorcycle";
    case 3:
        return "Other";
    case 5:
        return "Microbus";
    default:
        return std::nullopt;
    }
}

Ptr<ObjectTrackBestShotPacket> makeBestShotPacket(int64_t timestampUs, int32_t flags, const ObjectMetadata& object,
                                                  std::vector<char> image)
{
    auto bestShot = makePtr<ObjectTrackBestShotPacket>(sdk::Uuid(), -1, BoundingBox());
    bestShot->setTimestampUs(timestampUs);
    bestShot->setFlags(bestShot->flags() | flags);
    sdk::Uuid trackId;
    object.getTrackId(&trackId);
    bestShot->setTrackId(trackId);
    BoundingBox box;
    object.getBoundingBox(&box);
    bestShot->setBoundingBox(box);
    bestShot->setImage(LprMonitor::kImageFormat, std::move(image));
    return bestShot;
}

} // namespace

LprMonitor::LprMonitor(DeviceAgent* deviceAgent)
    : TcpDataMonitor(deviceAgent)
{
    checkCameraSettings();
}

LprMonitor::~LprMonitor()
{
    // First: the I/O thread may be in one of our handlers until then.
    stop();
}

std::string LprMonitor::name()
{
    return kLprChannelName;
}

std::string LprMonitor::portSettingName() const
{
    return name() + ".Port";
}

bool LprMonitor::setNeededTypes(const std::set<std::string>& /*neededEventTypeIds*/,
                                const std::set<std::string>& neededObjectTypeIds)
{
    return !neededObjectTypeIds.empty();
}

BasicBuffer<char> LprMonitor::makeRegisterRequest()
{
    const QAuthenticator& credentials = m_deviceAgent->authenticator();
    return makeLoginPacket(credentials.user().toStdString(), credentials.password().toStdString());
}

void LprMonitor::checkCameraSettings()
{
    const CameraSettings settings =
        getLprSettings(m_deviceAgent->url(), network::http::Credentials(m_deviceAgent->authenticator()));
    if (settings.empty()) {
        VN_LOG(5, this, "Cannot get LPR settings from camera");
        return;
    }
    if (hasRequiredLprSettings(requiredLprSettings(), settings))
        return;

    // All nine are written, not only those that differ; a failed write is not retried.
    const bool written =
        setCameraSettings(m_deviceAgent->url(), network::http::Credentials(m_deviceAgent->authenticator()),
                          kOperatorCgiPath, kSetLprSettingsAction, requiredLprSettings());
    VN_LOG(5, this, "LPR values set result %1", written);
}

void LprMonitor::onRegisterReply(SystemError::ErrorCode code, std::size_t bytesRead)
{
    if (code != SystemError::noError || bytesRead == 0) {
        scheduleReconnect(QStringLiteral("Failed to register"));
        return;
    }
    const LprParseResult result = parseLoginReply(this, m_receiveBuffer.view());
    switch (result.status) {
    case ParseStatus::error:
        scheduleReconnect(QStringLiteral("Login reply parse failed"));
        return;
    case ParseStatus::needMoreData:
        VN_ASSERT(result.totalSize > 0);
        readMore(ReadWait::forData, result.totalSize, &LprMonitor::onRegisterReply);
        return;
    case ParseStatus::ok:
        break;
    }
    m_receiveBuffer.erase(0, result.totalSize);
    VN_LOG(6, this, "Waiting for LPR messages");
    readPushes(); // The camera may have pushed right behind its reply.
}

void LprMonitor::onPush(SystemError::ErrorCode code, std::size_t bytesRead)
{
    if (code != SystemError::noError || bytesRead == 0) {
        scheduleReconnect(QStringLiteral("Push connection closed unexpectedly"));
        return;
    }
    readPushes();
}

void LprMonitor::readPushes()
{
    for (;;) {
        const LprParseResult packet = parsePacket(this, m_receiveBuffer.view(), LprPacketType::kMetadata);
        if (packet.status == ParseStatus::needMoreData) {
            // Between packets the camera may stay silent for ever; inside one it owes the rest.
            readMore(m_receiveBuffer.size() == 0 ? ReadWait::idle : ReadWait::forData, packet.totalSize,
                     &LprMonitor::onPush);
            return;
        }
        if (packet.status == ParseStatus::error) {
            scheduleReconnect(QStringLiteral("Push data parse failed"));
            return;
        }
        VN_LOG(6, this, "Metadata arrived");
        // The walk reads the payload where it lies in the receive buffer; the packet goes after it.
        LprChunkWalk walk = parseChunks(this, packet.payload);
        m_receiveBuffer.erase(0, packet.totalSize);
        pushPlateMetadata(std::move(walk.records));
    }
}

void LprMonitor::readMore(ReadWait wait, uint64_t totalSize, CompletionHandler handler)
{
    // The packet's size is bounded by kMaxLprPacketLength, so the whole packet arrives without regrowth.
    m_receiveBuffer.reserve(static_cast<std::size_t>(totalSize));
    readSome(wait, [this, handler](SystemError::ErrorCode code, std::size_t bytes) { (this->*handler)(code, bytes); });
}

void LprMonitor::pushPlateMetadata(std::vector<PlateRecord> records)
{
    for (PlateRecord& record : records) {
        PlatePackets packets =
            makePlatePackets(this, std::move(record), [agent = m_deviceAgent] { return agent->serverTimeUs(); });
        if (!packets.objects)
            continue;
        m_deviceAgent->pushMetadataPacket(packets.objects);
        for (auto& bestShot : packets.bestShots)
            m_deviceAgent->pushMetadataPacket(bestShot);
    }
}

LprParseResult LprMonitor::parsePacket(const LprMonitor* logSource, std::string_view bytes, LprPacketType expectedType)
{
    if (bytes.size() < kLprPacketHeaderSize)
        return {ParseStatus::needMoreData, kLprPacketHeaderSize, {}};

    const LprPacketHeader header = readPacketHeader(bytes);
    if (!isValidPacketHeader(header) || header.type != static_cast<uint16_t>(expectedType)) {
        VN_LOG(5, logSource, "Invalid login reply header");
        return {};
    }

    // L is at most kMaxLprPacketLength, so the sums below cannot overflow.
    const uint64_t totalSize = uint64_t{header.length} + kLprPacketHeaderSize;
    if (bytes.size() < totalSize)
        return {ParseStatus::needMoreData, totalSize, {}};

    const std::size_t endMarkerOffset = header.length + kLprPacketHeaderSize - kLprEndMarkerSize;
    const auto* const marker = reinterpret_cast<const uint8_t*>(bytes.data() + endMarkerOffset);
    if ((marker[0] | (marker[1] << 8)) != kLprEndMarker) {
        VN_LOG(5, logSource, "Packet End marker not found at desired position");
        return {};
    }
    return {ParseStatus::ok, totalSize, bytes.substr(kLprPacketHeaderSize, header.length - kLprEndMarkerSize)};
}

LprParseResult LprMonitor::parseLoginReply(const LprMonitor* logSource, std::string_view bytes)
{
    LprParseResult result = parsePacket(logSource, bytes, LprPacketType::kLoginReply);
    if (result.status != ParseStatus::ok)
        return result;

    VN_LOG(6, logSource, "Login response: %1", PeerText(result.payload));

    std::string error;
    const Json reply = Json::parse(std::string(result.payload), error);
    if (!reply.is_object()) {
        VN_LOG(5, logSource, "Login response parsing failed with error %1", error);
        return {};
    }

    const int code = loginResultCode(reply);
    if (code != network::http::StatusCode::ok) {
        VN_LOG(5, logSource, "HTTP code %1 (%2)", code, network::http::StatusCode::toString(code));
        return {};
    }
    return {ParseStatus::ok, result.totalSize, {}};
}

LprChunkWalk LprMonitor::parseChunks(const LprMonitor* logSource, std::string_view payload)
{
    // The walk moves an offset through the payload: dropping each chunk from the front of a payload of
    // many megabytes would move the rest once per chunk.
    LprChunkWalk walk;
    std::optional<std::size_t> current; //< Index of the record that image chunks belong to.
    std::size_t offset = 0;
    while (offset < payload.size()) {
        const std::string_view data = payload.substr(offset);
        if (data.size() <= kLprChunkHeaderSize) {
            VN_LOG(5, logSource, "Unexpected remainder %1 bytes", data.size());
            VN_ASSERT_LIMITED(data.empty());
            walk.status = ChunkWalkStatus::unexpectedRemainder;
            break;
        }

        const LprChunkHeader header = readChunkHeader(data);
        if (!isValidChunkHeader(header)) {
            VN_LOG(5, logSource, "Invalid chunk header");
            return {ChunkWalkStatus::invalidChunkHeader, {}};
        }

        const std::string_view buffer = data.substr(kLprChunkHeaderSize);
        const std::size_t size = header.size;
        const std::string_view body = buffer.substr(0, size);
        if (static_cast<LprChunkType>(header.type) == LprChunkType::kMetadataChunk) {
            walk.records.push_back(parsePlateRecord(body));
            current = walk.records.size() - 1;
        } else if (current) {
            walk.records[*current].addImage(body); // Keeps the two smallest only: memory bounded by the packet.
        } else {
            VN_LOG(5, logSource, "Unexpected image chunk before metadata chunk");
        }

        if (buffer.size() < size) {
            VN_REPORT_LIMITED("buffer.size() >= size");
            walk.status = ChunkWalkStatus::chunkPastEnd;
            break;
        }
        offset += kLprChunkHeaderSize + size;
    }
    return walk;
}

PlateRecord LprMonitor::parsePlateRecord(std::string_view body)
{
    PlateRecord metadata;
    std::size_t offset = 0;
    // Up to `count` bytes from the current offset; fewer when the body ends first.
    const auto take = [&body, &offset](std::size_t count) {
        const std::string_view part = body.substr(offset, count);
        offset += part.size();
        return part;
    };

    const std::string_view fields1 = take(PlateRecordFields1::kSize);
    std::memcpy(metadata.fields1.bytes.data(), fields1.data(), fields1.size());
    metadata.plateNumber = std::string(take(metadata.fields1.plateNumberLength()));
    const std::string_view fields2 = take(PlateRecordFields2::kSize);
    std::memcpy(metadata.fields2.bytes.data(), fields2.data(), fields2.size());

    const std::string_view buffer = body;
    const std::size_t size =
        PlateRecordFields1::kSize + metadata.fields1.plateNumberLength() + PlateRecordFields2::kSize;
    // Every check here is of the camera's bytes: reported through the limiter, so that a camera that
    // sends the same broken record in every packet costs a bounded number of lines.
    VN_ASSERT_LIMITED(buffer.size() >= size);
    if (metadata.fields2.x2() < metadata.fields2.x1())
        VN_REPORT_LIMITED("metadata.fields2.x1 <= metadata.fields2.x2");
    if (metadata.fields2.y2() < metadata.fields2.y1())
        VN_REPORT_LIMITED("metadata.fields2.y1 <= metadata.fields2.y2");
    const std::string_view data = body.substr(offset);
    VN_ASSERT_LIMITED(data.empty());

    metadata.images.reserve(std::min<std::size_t>(metadata.fields1.imageCount(), PlateRecord::kKeptImages));
    return metadata;
}

vorn::BasicBuffer<char> LprMonitor::makeLoginPacket(const std::string& id, const std::string& password)
{
    const Json login = Json::object{{"id", id}, {"password", password}};
    return writeLprPacket(LprPacketType::kLoginRequest, login.dump());
}

PlatePackets LprMonitor::makePlatePackets(const LprMonitor* logSource, PlateRecord entry,
                                          const ServerClock& serverTimeUs)
{
    PlatePackets result;
    if (!VN_ASSERT_LIMITED(!entry.plateNumber.empty()))
        return result;

    VN_LOG(6, logSource, "Processing metadata for plate %1", PeerText(entry.plateNumber));

    // A record time beyond the microsecond range cannot be the camera's clock: take the server's.
    const int64_t timestampMs = entry.fields1.timestampMs();
    int64_t timestampUs = 0;
    int32_t flags = kCameraTimeFlag;
    if (__builtin_mul_overflow(timestampMs, int64_t{1000}, &timestampUs)) {
        VN_LOG(5, logSource, "Plate %1: record time %2 ms out of range, using the server clock",
               PeerText(entry.plateNumber), timestampMs);
        timestampUs = serverTimeUs ? serverTimeUs() : 0;
        flags = 0;
    }

    auto packet = makePtr<ObjectMetadataPacket>();
    packet->setDurationUs(kObjectDurationUs);
    packet->setTimestampUs(timestampUs);
    packet->setFlags(packet->flags() | flags);

    auto plate = makePtr<ObjectMetadata>();
    plate->setTypeId(kLicensePlateObjectTypeId);
    plate->setTrackId(sdk::makeRandomUuid());
    plate->setBoundingBox(plateRect(entry.fields2));
    plate->addAttributes(makePlateAttributes(entry, std::string()));
    packet->addItem(plate.get());

    auto vehicle = makePtr<ObjectMetadata>();
    vehicle->setTypeId(kVehicleObjectTypePrefix + vehicleTypeId(entry));
    vehicle->setTrackId(sdk::makeRandomUuid());
    vehicle->setBoundingBox(vehicleRectFromPlate(entry.fields2));
    vehicle->addAttributes(makeVehicleAttributes(entry));
    packet->addItem(vehicle.get());
    result.objects = std::move(packet);

    // Counted as they arrived: the record keeps only the two it passes on.
    if (entry.imagesReceived != entry.fields1.imageCount())
        VN_REPORT_LIMITED("entry.images.size() == entry.fields1.imageCount");

    // The smallest image shows the plate, the next smallest the vehicle; the rest were not kept.
    std::stable_sort(entry.images.begin(), entry.images.end(),
                     [](const std::vector<char>& a, const std::vector<char>& b) { return a.size() < b.size(); });
    if (!entry.images.empty())
        result.bestShots.push_back(makeBestShotPacket(timestampUs, flags, *plate, std::move(entry.images[0])));
    if (entry.images.size() >= 2)
        result.bestShots.push_back(makeBestShotPacket(timestampUs, flags, *vehicle, std::move(entry.images[1])));
    return result;
}

std::vector<Ptr<Attribute>> LprMonitor::makePlateAttributes(const PlateRecord& entry, const std::string& prefix)
{
    std::vector<Ptr<Attribute>> attributes;
    attributes.push_back(
        makeAttribute(attributeName(prefix, "Number"), entry.plateNumber, entry.fields2.plateConfidence()));
    if (const uint8_t color = entry.fields1.plateColor(); color != 0)
        attributes.push_back(makeAttribute(attributeName(prefix, "Color"), colorName(color), 1.0F));
    if (std::string country = entry.fields1.country(); !country.empty())
        attributes.push_back(makeAttribute(attributeName(prefix, "Country"), std::move(country), 1.0F));
    if (auto type = plateTypeName(entry.fields2.plateType()))
        attributes.push_back(makeAttribute(attributeName(prefix, "Type"), std::move(*type), 1.0F));
    return attributes;
}

std::vector<Ptr<Attribute>> LprMonitor::makeVehicleAttributes(const PlateRecord& entry)
{
    std::vector<Ptr<Attribute>> attributes = makePlateAttributes(entry, kPlateAttributesPrefix);
    if (auto type = vehicleTypeAttribute(entry.fields2.vehicleKind()))
        attributes.push_back(makeAttribute("Type", std::move(*type), 1.0F));
    if (const uint16_t speed = entry.fields1.speed(); speed != 0)
        attributes.push_back(makeAttribute("Speed", std::to_string(speed), 1.0F));
    if (const uint8_t color = entry.fields1.vehicleColor(); color != 0)
        attributes.push_back(makeAttribute("Color", colorName(color), 1.0F));
    if (const uint8_t direction = entry.fields1.direction(); direction != 0)
        attributes.push_back(makeAttribute("Direction", direction == 1 ? "Incoming" : "Outgoing", 1.0F));
    return attributes;
}

std::string LprMonitor::vehicleTypeId(const PlateRecord& entry)
{
    switch (entry.fields2.vehicleKind()) {
    case 1:
        return "Car";
    case 2:
        return "Bike";
    case 3:
    case 5:
        return "Bus";
    case 4:
        return "Truck";
    default:
        return "Vehicle";
    }
}

std::string colorName(uint8_t code)
{
    static constexpr const char* kNames[] = {"Black", "Blue",  "Cyan",   "Gray",   "Green",
                                             "Red",   "White", "Yellow", "Violet", "Orange"};
    if (code < 1 || code > std::size(kNames))
        return std::string();
    return kNames[code - 1];
}

BoundingBox plateRect(const PlateRecordFields2& fields)
{
    const float frameWidth = fields.frameWidth();
    const float frameHeight = fields.frameHeight();
    if (fields.frameWidth() == 0 || fields.frameHeight() == 0)
        return kNoBox;
    return {fields.x1() / frameWidth, fields.y1() / frameHeight,
            static_cast<float>(int{fields.x2()} - int{fields.x1()}) / frameWidth,
            static_cast<float>(int{fields.y2()} - int{fields.y1()}) / frameHeight};
}

BoundingBox vehicleRectFromPlate(const PlateRecordFields2& fields)
{
    if (fields.frameWidth() == 0 || fields.frameHeight() == 0)
        return kNoBox;
    const BoundingBox plate = plateRect(fields);
    if (plate.x < 0 || plate.y < 0 || plate.width < 0 || plate.height < 0 || plate.x + plate.width > 1 ||
        plate.y + plate.height > 1) {
        return kNoBox;
    }

    const float aspect = static_cast<float>(fields.frameHeight()) / static_cast<float>(fields.frameWidth());
    float height = 9 * plate.height;
    float width = height * aspect; // As wide as tall in pixels.
    float x = plate.x + plate.width / 2 - (height / 2) * aspect;
    float y = plate.y + plate.height / 2 - 0.7F * height;

    // Cut to the frame: the part of the box outside it is dropped, so its far edge stays where it is.
    if (x < 0) {
        width += x;
        x = 0;
    }
    if (y < 0) {
        height += y;
        y = 0;
    }
    if (x + width > 1)
        width = 1 - x;
    if (y + height > 1)
        height = 1 - y;
    return {x, y, width, height};
}

const CameraSettings& requiredLprSettings()
{
    static const CameraSettings settings = [] {
        CameraSettings required;
        for (const char* key :
             {"lpr_enable", "lpr_post_enable", "lpr_post_type", "lpr_direction_enable", "lpr_region_enable",
              "lpr_roiid_enable", "lpr_platecolor_enable", "lpr_vehicletype_enable", "lpr_vehiclecolor_enable"}) {
            required.emplace(QString::fromLatin1(key), QStringLiteral("1"));
        }
        return required;
    }();
    return settings;
}

bool hasRequiredLprSettings(const CameraSettings& required, const CameraSettings& camera)
{
    for (const auto& [key, value] : required) {
        const auto found = camera.find(key);
        if ((found == camera.end() ? QString() : found->second) != value)
            return false;
    }
    return true;
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
