// LprNotificationProcessor: the second processor of the chain. Cameras that run the ALPV licence-plate
// application report every plate read on one topic; this processor claims that topic and turns each read
// into a licence-plate object (track, box, number, country), with a best shot whose image it looks up in
// the application's records, and into a plate-detected event when the vehicle is new.
//
// The record search is a synchronous request to the camera inside the handling of the notification, on
// the server thread that delivered the packet. Its client is set up as every camera client of the plugin
// (makeCameraClient), so a camera that is silent or stalls costs a plate at most kCameraRequestTimeout per
// phase, and the plate goes out with its box as best shot. The client serves one request at a time (a
// mutex guards it), so packets handled on two threads at once wait for each other's search.
//
// One packet may carry many plates, and many packets may come one after another: the searches keep to a
// budget of the thread's time (PlateSearchBudget). After a search that took longer than half of
// kCameraRequestTimeout (whatever the camera answered, a record included), or that failed in transport (no
// response: refused, reset, timed out; or a body that could not be read), and after searches that took more
// than half of the last kCameraRequestTimeout together (a camera that answers each one in a few seconds),
// the plates of the next kCameraRequestTimeout (on the ScaledClock, from the end of the last search) are
// not searched: each writes "Plate record search skipped: ..." with the reason and goes on as after a
// failed search, with its box as best shot. A run of plates against a silent camera thus costs its thread
// about one search, and against a slow one half a time-out of searches and the one that goes past it (8 s
// for a camera that takes 4 s for each), not one search per plate. The first search after the hold-back
// decides again; a quick reply of any kind (a record, a bad status, a body that is not XML) lets the
// following plates search as usual while the budget lasts.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QtCore/QString>

#include <vorn/network/http/http_client.h>
#include <vorn/sdk/uuid.h>
#include <vorn/utils/url.h>

#include "notification_processor.h"
#include "notification_type.h"
#include "plate_search_budget.h"
#include "xml_search.h"

namespace vorn::vms_server_plugins::analytics::axis {

/** What a plate search reply says about one car: the image path of its record, or why there is none. */
struct PlateRecordReadResult
{
    std::optional<QString> parseError; //< the reply was refused or is not well-formed XML
    std::optional<QString> imagePath;  //< "LP_BMP" of the first "event" with the car's "CAR_ID"
};

/** Reads a plate search reply (parsed in place, nesting bounded by kMaxXmlDepth). */
PlateRecordReadResult parsePlateRecord(std::string* body, uint64_t carId);

class LprNotificationProcessor : public NotificationProcessor
{
public:
    static const QString kLprTopic;
    static const QString kLprEventTypeId;
    static const QString kLprObjectTypeId;

    /** Claims the plate topic and sets up the camera client (makeCameraClient) for the description. */
    LprNotificationProcessor(MetadataProcessor* metadataProcessor, std::vector<NotificationType>& types);
    ~LprNotificationProcessor() override;

    /** The plate event and object types when the camera's catalogue has the plate topic, else nothing. */
    std::vector<EventType> eventTypes() const override;
    std::vector<ObjectType> objectTypes() const override;
    void setNeededTypes(std::set<QString>& eventTypeIds, std::set<QString>& objectTypeIds) override;

    /** False for any other topic; true for every notification on the plate topic. */
    bool processNotification(const Notification& notification) override;

    /** The track of a car: the processor's random base with the car id's bytes mixed in. */
    vorn::sdk::Uuid trackIdOf(uint64_t carId) const;

private:
    std::optional<vorn::utils::Url> fetchRecord(int64_t timestampFrom, uint64_t carId);
    std::optional<std::string> requestRecord(int64_t timestampFrom);
    std::optional<vorn::utils::Url> bestShotUrl(const QString& imagePath) const;

    const vorn::sdk::Uuid m_trackIdBase;
    bool m_isSupported = false;
    NeededFlag m_isEventNeeded;
    NeededFlag m_isObjectNeeded;

    std::mutex m_httpClientMutex; //< guards m_httpClient and m_searchBudget: one record search at a time
    vorn::network::http::HttpClient m_httpClient;
    PlateSearchBudget m_searchBudget;
};

} // namespace vorn::vms_server_plugins::analytics::axis
