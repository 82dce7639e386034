#include "lpr_notification_processor.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <utility>

#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/sdk/helpers/uuid.h>
#include <vorn/vms_server_plugins/utils/server_text.h>

#include "camera_client.h"
#include "device_agent.h"
#include "metadata_processor.h"

namespace vorn::vms_server_plugins::analytics::axis {

using vorn::log_support::PeerText;

using vorn::vms_server_plugins::utils::textOf;

namespace {

const QString kLprObjectBaseTypeId = QStringLiteral("vorn.base.LicensePlate");
const QString kLprEventTypeName = QStringLiteral("License plate detected");
constexpr char kSearchPath[] = "/local/fflprapp/search.cgi";
constexpr char kImageFolder[] = "/local/fflprapp/";
// "capture_timestamp" to "timestampFrom" of the search.
constexpr int64_t kTimestampFromFactor = 1000;

bool claimLprTopic(std::vector<NotificationType>& types)
{
    bool claimed = false;
    std::erase_if(types, [&claimed](NotificationType& type) {
        if (type.children.empty()) {
            const bool isPlateTopic = type.topic == LprNotificationProcessor::kLprTopic;
            claimed = claimed || isPlateTopic;
            return isPlateTopic;
        }
        claimed = claimLprTopic(type.children) || claimed;
        return type.children.empty();
    });
    return claimed;
}

std::optional<QString> attribute(const Notification& notification, const char* name)
{
    const auto it = notification.attributes.find(QLatin1String(name));
    if (it == notification.attributes.end())
        return std::nullopt;
    return it->second;
}

// A box attribute in the camera image's pixels: 0 when not a number, and so for "nan", "inf" and "-inf",
// which a reading of a double would take as they are.
double coordinate(const Notification& notification, const char* name)
{
    const double value = attribute(notification, name).value_or(QStringLiteral("0")).toDouble();
    return std::isfinite(value) ? value : 0;
}

// One side of the plate's box, from `start` over `length` pixels of a frame `size` pixels long, as the
// fractions [from, to] of the frame cut to it. Sums and quotients past the range of a double come out
// infinite, never NaN, and end up at an edge of the frame; a negative length gives an empty side.
std::pair<double, double> sideInFrame(double start, double length, float size)
{
    const double from = std::clamp(start / size, 0.0, 1.0);
    const double to = std::clamp((start + length) / size, from, 1.0);
    return {from, to};
}

// The plate's box in fractions of the frame of a usable domain: never outside the frame, whatever the
// camera's numbers.
vorn::sdk::analytics::BoundingBox plateBox(const Notification& notification, const CoordinateDomain& domain)
{
    const auto [left, right] =
        sideInFrame(coordinate(notification, "left"), coordinate(notification, "width"), domain.width);
    const auto [top, bottom] =
        sideInFrame(coordinate(notification, "top"), coordinate(notification, "height"), domain.height);
    return {static_cast<float>(left), static_cast<float>(top), static_cast<float>(right - left),
            static_cast<float>(bottom - top)};
}

bool isUsableImageSize(const CoordinateDomain& domain)
{
    return std::isfinite(domain.width) && std::isfinite(domain.height) && domain.width > 0 && domain.height > 0;
}

} // namespace

const QString LprNotificationProcessor::kLprTopic = QStringLiteral("tnsaxis:CameraApplicationPlatform/ALPV.AllPlates");
const QString LprNotificationProcessor::kLprEventTypeId = QStringLiteral("vorn.axis.event.LicensePlateDetected");
const QString LprNotificationProcessor::kLprObjectTypeId = QStringLiteral("vorn.axis.object.LicensePlate");

PlateRecordReadResult parsePlateRecord(std::string* body, uint64_t carId)
{
    PlateRecordReadResult result;
    XmlDocument document; //< its first 64 KiB of nodes come from a pool on the stack
    result.parseError = parseCameraXml(body, &document);
    if (result.parseError)
        return result;

    const XmlNode* event = findDescendant(&document, "event");
    for (; event; event = event->next_sibling("event")) {
        const XmlNode* id = event->first_node("CAR_ID");
        if (id && valueText(id).toULongLong() == carId) // 0 when not a number
            break;
    }
    if (!event)
        return result;
    if (const XmlNode* image = event->first_node("LP_BMP"))
        result.imagePath = valueText(image);
    return result;
}

LprNotificationProcessor::LprNotificationProcessor(MetadataProcessor* metadataProcessor,
                                                   std::vector<NotificationType>& types)
    : NotificationProcessor(metadataProcessor)
    , m_trackIdBase(vorn::sdk::makeRandomUuid())
    , m_httpClient(makeCameraClient(*metadataProcessor->deviceAgent()->deviceInfo()))
{
    m_isSupported = claimLprTopic(types);
}

LprNotificationProcessor::~LprNotificationProcessor() = default;

std::vector<EventType> LprNotificationProcessor::eventTypes() const
{
    if (!m_isSupported)
        return {};
    return {{kLprEventTypeId, kLprEventTypeName, /*isProlonged*/ false}};
}

std::vector<ObjectType> LprNotificationProcessor::objectTypes() const
{
    if (!m_isSupported)
        return {};
    return {{kLprObjectBaseTypeId, kLprObjectTypeId, {QStringLiteral("Country"), QStringLiteral("Number")}}};
}

void LprNotificationProcessor::setNeededTypes(std::set<QString>& eventTypeIds, std::set<QString>& objectTypeIds)
{
    m_isEventNeeded.set(eventTypeIds.erase(kLprEventTypeId) > 0);
    m_isObjectNeeded.set(objectTypeIds.erase(kLprObjectTypeId) > 0);
}

vorn::sdk::Uuid LprNotificationProcessor::trackIdOf(uint64_t carId) const
{
    vorn::sdk::Uuid trackId = m_trackIdBase;
    for (std::size_t k = 0; k < trackId.bytes.size(); ++k)
        trackId.bytes[k] ^= static_cast<uint8_t>(carId >> (8 * (k % 8)));
    return trackId;
}

bool LprNotificationProcessor::processNotification(const Notification& notification)
{
    if (notification.topic != kLprTopic)
        return false;
    const bool isEventNeeded = m_isEventNeeded.get();
    const bool isObjectNeeded = m_isObjectNeeded.get();
    if (!isEventNeeded && !isObjectNeeded)
        return true;

    const uint64_t carId = attribute(notification, "carID").value_or(QString()).toULongLong(); // 0 when not a number
    const vorn::sdk::Uuid trackId = trackIdOf(carId);

    std::map<QString, QString> attributes;
    if (const auto number = attribute(notification, "text"); number && !number->isEmpty())
        attributes[QStringLiteral("Number")] = *number;
    if (const auto country = attribute(notification, "country"); country && !country->isEmpty())
        attributes[QStringLiteral("Country")] = *country;

    if (isObjectNeeded) {
        const CoordinateDomain domain = metadataProcessor()->coordinateDomain();
        if (!isUsableImageSize(domain)) {
            // Without the image size a box would be negative or infinite; the event still goes out.
            VN_LOG(5, this, "Couldn't place licence plate: image size is %1", toString(domain));
        } else {
            Object object;
            object.timestamp = notification.timestamp;
            object.typeId = kLprObjectTypeId;
            object.trackId = trackId;
            object.boundingBox = plateBox(notification, domain);
            object.attributes = attributes;

            if (const auto captureTimestamp = attribute(notification, "capture_timestamp")) {
                const int64_t captured = captureTimestamp->toLongLong(); // 0 when not a number
                int64_t timestampFrom = 0;
                std::optional<vorn::utils::Url> imageUrl;
                if (__builtin_mul_overflow(captured, kTimestampFromFactor, &timestampFrom)) {
                    VN_LOG(5, this, "Capture timestamp %1 is out of range; the plate record is not searched",
                           PeerText(captureTimestamp->toUtf8()));
                } else {
                    imageUrl = fetchRecord(timestampFrom, carId);
                    if (!imageUrl)
                        VN_LOG(5, this, "Couldn't fetch best shot image url");
                }
                object.bestShot = Object::BestShot{std::move(imageUrl)};
            }
            emitObject(object);
        }
    }

    if (isEventNeeded && attribute(notification, "carState") == QStringLiteral("new")) {
        Event event;
        event.timestamp = notification.timestamp;
        event.typeId = kLprEventTypeId;
        event.trackId = trackId;
        event.attributes = std::move(attributes);
        emitEvent(event);
    }
    return true;
}

std::optional<vorn::utils::Url> LprNotificationProcessor::fetchRecord(int64_t timestampFrom, uint64_t carId)
{
    std::optional<std::string> body = requestRecord(timestampFrom);
    if (!body) {
        VN_LOG(5, this, "Couldn't fetch record");
        return std::nullopt;
    }
    VN_LOG(6, this, "Unparsed record:\n%1", PeerText(*body));

    const PlateRecordReadResult record = parsePlateRecord(&*body, carId);
    if (record.parseError) {
        VN_LOG(5, this, "Couldn't parse record XML: %1", *record.parseError);
        return std::nullopt;
    }
    if (!record.imagePath)
        return std::nullopt;
    return bestShotUrl(*record.imagePath);
}

std::optional<std::string> LprNotificationProcessor::requestRecord(int64_t timestampFrom)
{
    const auto deviceInfo = metadataProcessor()->deviceAgent()->deviceInfo();
    vorn::utils::Url url(deviceInfo->url());
    url.setPath(QString::fromLatin1(kSearchPath));
    url.setQuery(QStringLiteral("timestampFrom=%1").arg(timestampFrom));

    const std::lock_guard lock(m_httpClientMutex);
    // Measured on the clock of the client's time-outs, from when this search has the client.
    const vorn::utils::ScaledClock::time_point start = vorn::utils::ScaledClock::now();
    switch (m_searchBudget.holdBackAt(start)) {
    case PlateSearchBudget::HoldBack::none:
        break;
    case PlateSearchBudget::HoldBack::lastSearchLate:
        VN_LOG(5, this, "Plate record search skipped: the camera did not answer the last one in time");
        return std::nullopt;
    case PlateSearchBudget::HoldBack::budgetSpent:
        VN_LOG(5, this, "Plate record search skipped: the searches of the last %1 ms took more than %2 ms",
               kPlateSearchWindow.count(), kPlateSearchBudget.count());
        return std::nullopt;
    }
    const std::optional<QByteArray> body =
        fetchCameraReply(&m_httpClient, url, vorn::utils::log::Tag(vorn::log_support::objectLogTag(this)));
    // The client keeps a system error only when the request got no response or its body could not be read;
    // a reply with a bad status leaves it at 0, and a quick one of those holds nothing back by itself.
    const bool failedInTransport = !body && m_httpClient.lastSysErrorCode() != 0;
    m_searchBudget.addSearch(start, vorn::utils::ScaledClock::now(), failedInTransport);
    if (!body)
        return std::nullopt;
    return body->toStdString();
}

std::optional<vorn::utils::Url> LprNotificationProcessor::bestShotUrl(const QString& imagePath) const
{
    const auto deviceInfo = metadataProcessor()->deviceAgent()->deviceInfo();
    vorn::utils::Url url(deviceInfo->url());
    url.setUserName(textOf(deviceInfo->login()));
    url.setPassword(textOf(deviceInfo->password()));
    url.setPathAndQuery(QString::fromLatin1(kImageFolder) + imagePath);
    return url;
}

} // namespace vorn::vms_server_plugins::analytics::axis
