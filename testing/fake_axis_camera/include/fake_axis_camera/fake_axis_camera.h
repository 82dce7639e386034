// vorn::testing::FakeAxisCamera: an Axis camera on 127.0.0.1 for tests and demos.
//
// It answers what an Axis device agent asks: the image size CGI ("image width = ..." lines), the SOAP
// GetEventInstances request (a reply around the topic set it is given; a SOAP fault with status 500 for
// any other request) and the licence-plate application's record search (an XML list of the plate records
// it holds from the search start on). Every request is recorded, request bytes included; the camera can
// ask for Basic or Digest credentials and misbehave per path (an error status, a cut body, silence, a late
// reply, a reply late on the test's own clock):
//
//     FakeAxisCamera camera;
//     camera.setTopicSet(FakeAxisCamera::readDataFile("catalogue_topic_set.xml"));
//     camera.addPlateRecord({.carId = 7, .timestamp = 17000, .imagePath = "images/7.bmp"});
//     camera.requireAuth(FakeHttpServer::AuthScheme::digest, "root", "pass");
//     description.url = camera.url();                                  // "http://127.0.0.1:<port>/"
//     ...
//     EXPECT_EQ(camera.requestsTo(FakeAxisCamera::kImageSizePath).back().query, "camera=1");
//     camera.setReply(FakeAxisCamera::kEventServicePath, FakeHttpServer::Reply::silent());
//     camera.setReplyDelay(FakeAxisCamera::kPlateSearchPath, std::chrono::milliseconds(400));
//
// The members may be called from any thread; the replies are made on the HTTP server's thread.
// Destruction stops the server first: nothing of the camera runs after it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <vorn/testing/fake_http_server.h>

namespace vorn::testing {

class FakeAxisCamera
{
public:
    static constexpr char kImageSizePath[] = "/axis-cgi/imagesize.cgi";
    static constexpr char kEventServicePath[] = "/vapix/services";
    static constexpr char kPlateSearchPath[] = "/local/fflprapp/search.cgi";

    struct PlateRecord
    {
        std::uint64_t carId = 0;
        std::int64_t timestamp = 0; //< listed by a search whose "timestampFrom" is at most this
        std::string imagePath;      //< "LP_BMP", relative to /local/fflprapp/
    };

    /** Starts serving at once: 1920 x 1080, an empty topic set, no plate records. */
    FakeAxisCamera();
    ~FakeAxisCamera();

    FakeAxisCamera(const FakeAxisCamera&) = delete;
    FakeAxisCamera& operator=(const FakeAxisCamera&) = delete;

    /** "http://127.0.0.1:<port>/" */
    std::string url() const;
    std::uint16_t port() const { return m_http.port(); }

    void setImageSize(int width, int height);
    /** The image size reply's body as it is, instead of the two lines of setImageSize(). */
    void setImageSizeBody(std::optional<std::string> body);

    /** The children of "wstop:TopicSet" in the catalogue reply (an XML fragment). */
    void setTopicSet(std::string topicSetXml);
    /** The whole catalogue reply body instead of the envelope around the topic set. */
    void setCatalogueBody(std::optional<std::string> body);

    void addPlateRecord(PlateRecord record);

    /** Answers every request to the path with this reply instead of the camera's own; none restores it. */
    void setReply(const std::string& path, std::optional<FakeHttpServer::Reply> reply);

    /**
     * Every reply to the path, the camera's own or one set by setReply(), goes out this long after its request
     * (real time: a test at a time scale converts with ScaledClock::toRealDuration); zero answers at once
     * again. Other paths and connections are answered meanwhile.
     */
    void setReplyDelay(const std::string& path, std::chrono::milliseconds delay);

    /**
     * Runs `action` on the server's thread when a request to the path arrives, before its reply is made; none
     * removes it. A test on a FakeMonotonicTime makes a camera that takes its time on the test's clock alone:
     *
     *     camera.setRequestAction(FakeAxisCamera::kPlateSearchPath, [&clock] { clock.advance(4s); });
     */
    void setRequestAction(const std::string& path, std::function<void()> action);

    /** From now on every request needs these credentials. */
    void requireAuth(FakeHttpServer::AuthScheme scheme, std::string user, std::string password);

    /** Every request so far, in arrival order (unauthenticated tries included). */
    std::vector<FakeHttpServer::RecordedRequest> requests() const;
    std::vector<FakeHttpServer::RecordedRequest> requestsTo(std::string_view path) const;

    FakeHttpServer& http() { return m_http; }

    /** The SOAP 1.2 reply of GetEventInstances around a topic set fragment. */
    static std::string catalogueReply(const std::string& topicSetXml);

    /** The contents of a file of the fixtures folder (data/); empty when it cannot be read. */
    static std::string readDataFile(const std::string& name);
    static std::string dataFilePath(const std::string& name);

private:
    FakeHttpServer::Reply answer(const std::string& path, const FakeHttpServer::RecordedRequest& request);
    FakeHttpServer::Reply answerAtOnce(const std::string& path, const FakeHttpServer::RecordedRequest& request);
    FakeHttpServer::Reply answerImageSize() const;
    FakeHttpServer::Reply answerEventService(const FakeHttpServer::RecordedRequest& request) const;
    FakeHttpServer::Reply answerPlateSearch(const FakeHttpServer::RecordedRequest& request) const;

    mutable std::mutex m_mutex; //< guards everything below but m_http
    int m_width = 1920;
    int m_height = 1080;
    std::optional<std::string> m_imageSizeBody;
    std::string m_topicSet;
    std::optional<std::string> m_catalogueBody;
    std::vector<PlateRecord> m_plateRecords;
    std::map<std::string, FakeHttpServer::Reply> m_replies;
    std::map<std::string, std::chrono::milliseconds> m_replyDelays;
    std::map<std::string, std::function<void()>> m_requestActions;

    // Last: destroyed first, so no handler runs while the members above go away.
    FakeHttpServer m_http;
};

} // namespace vorn::testing
