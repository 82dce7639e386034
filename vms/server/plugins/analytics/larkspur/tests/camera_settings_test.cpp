#include <chrono>
#include <functional>

#include <gtest/gtest.h>

#include <fake_zodivadad_camera/fake_zodivadad_camera.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/camera_settings.h>

#include "larkspur_test_support.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using larkspur_test::logged;
using vorn::network::http::PasswordCredentials;
using vorn::network::http::Timeouts;
using vorn::testing::FakeHttpServer;
using vorn::testing::FakeZodivadadCamera;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;

// Short enough that the silent-camera rows end quickly, long enough for a loaded machine to answer.
Timeouts shortTimeouts()
{
    Timeouts timeouts;
    timeouts.sendTimeout = std::chrono::milliseconds(2000);
    timeouts.responseReadTimeout = std::chrono::milliseconds(300);
    timeouts.messageBodyReadTimeout = std::chrono::milliseconds(300);
    return timeouts;
}

TEST(CameraSettings, ReadsSystemInformationWithTheCameraCredentials)
{
    const FakeHttpServer::AuthScheme schemes[] = {FakeHttpServer::AuthScheme::none, FakeHttpServer::AuthScheme::basic,
                                                  FakeHttpServer::AuthScheme::digest};
    for (const auto scheme : schemes) {
        SCOPED_TRACE(static_cast<int>(scheme));
        FakeZodivadadCamera camera;
        camera.setSystemInformation({{"system_lpr_support", "1"}, {"system_model", "ZV 5000"}});
        if (scheme != FakeHttpServer::AuthScheme::none)
            camera.requireAuth(scheme, "admin", "s3cret");

        const CameraSettings settings =
            getSystemInformation(vorn::utils::Url(camera.url()), PasswordCredentials("admin", "s3cret"));

        EXPECT_EQ(settings, (CameraSettings{{"system_lpr_support", "1"}, {"system_model", "ZV 5000"}}));
        const auto requests = camera.cgiRequests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().method, "GET");
        EXPECT_EQ(requests.back().path, "/cgi-bin/admin/admin.cgi");
        EXPECT_EQ(requests.back().query, "action=get.system.information");
        EXPECT_EQ(requests.back().header("Authorization").has_value(), scheme != FakeHttpServer::AuthScheme::none);
    }
}

TEST(CameraSettings, ReadsLicencePlateSettingsFromTheOperatorScript)
{
    FakeZodivadadCamera camera;
    camera.setLprSettings({{"lpr_enable", "1"}});
    EXPECT_EQ(getLprSettings(vorn::utils::Url(camera.url()), PasswordCredentials("a", "b")),
              (CameraSettings{{"lpr_enable", "1"}}));
    EXPECT_EQ(camera.cgiRequests().back().path, "/cgi-bin/operator/operator.cgi");
    EXPECT_EQ(camera.cgiRequests().back().query, "action=get.lpr.settings");
}

struct FailureRow
{
    const char* name;
    std::function<void(FakeZodivadadCamera&)> misbehave;
    QString expectedLog; //< Empty: nothing but the reply dump is logged.
};

TEST(CameraSettings, ReadFailuresGiveNoSettingsAndNeverLogThePassword)
{
    const FailureRow rows[] = {
        {"error page with assignments in it",
         [](FakeZodivadadCamera& c) {
             c.setCgiReply(
                 FakeHttpServer::Reply::withStatus(500, "<html><meta charset=utf-8>;<p a=b>;</html>", "text/html"));
         },
         "HTTP code HTTP/1.1 500 Internal Server Error"},
        {"credentials refused for ever",
         [](FakeZodivadadCamera& c) { c.requireAuth(FakeHttpServer::AuthScheme::digest, "admin", "other"); },
         "HTTP code HTTP/1.1 401"},
        {"connection refused", [](FakeZodivadadCamera& c) { c.refuseConnections(); }, "HTTP code N/A sys code"},
        {"silent camera", [](FakeZodivadadCamera& c) { c.setCgiReply(FakeHttpServer::Reply::silent()); },
         "HTTP code N/A sys code"},
        {"cut body", [](FakeZodivadadCamera& c) { c.setCgiReply(FakeHttpServer::Reply::cutBody("var a='1';", 400)); },
         "Failed to fetch settings from"},
        {"empty body", [](FakeZodivadadCamera& c) { c.setCgiReply(FakeHttpServer::Reply::ok("")); }, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeZodivadadCamera camera;
        row.misbehave(camera);
        LogCapture capture(Level::verbose);

        const CameraSettings settings =
            getSystemInformation(vorn::utils::Url(camera.urlWithCredentials("admin", "secret")),
                                 PasswordCredentials("admin", "secret"), shortTimeouts());

        EXPECT_TRUE(settings.empty());
        if (!row.expectedLog.isEmpty()) {
            EXPECT_TRUE(logged(capture, row.expectedLog)) << capture.logger().texts().join("\n").toStdString();
            EXPECT_TRUE(logged(capture, "/cgi-bin/admin/admin.cgi?action=get.system.information"));
        } else {
            EXPECT_FALSE(logged(capture, "Failed"));
        }
        EXPECT_FALSE(logged(capture, "secret"));
    }
}

TEST(CameraSettings, WriteSendsTheActionFirstThenTheSettingsInKeyOrder)
{
    FakeZodivadadCamera camera;
    camera.requireAuth(FakeHttpServer::AuthScheme::basic, "admin", "secret");
    LogCapture capture(Level::verbose);

    const CameraSettings settings{{"z_last", "2"}, {"m_plus", "+02:00 a+b"}, {"a_first", "x y&z=1%"}};
    EXPECT_TRUE(setCameraSettings(vorn::utils::Url(camera.url()), PasswordCredentials("admin", "secret"),
                                  kOperatorCgiPath, kSetLprSettingsAction, settings));

    const std::string query = camera.cgiRequests().back().query;
    const auto items = FakeZodivadadCamera::queryItems(query);
    const std::vector<std::pair<std::string, std::string>> expected{
        {"action", "set.lpr.settings"}, {"a_first", "x y&z=1%"}, {"m_plus", "+02:00 a+b"}, {"z_last", "2"}};
    EXPECT_EQ(items, expected);
    // CGI scripts read a bare "+" as a blank.
    EXPECT_EQ(query.find('+'), std::string::npos) << query;
    EXPECT_EQ(camera.lprSettings(),
              (FakeZodivadadCamera::Settings{{"a_first", "x y&z=1%"}, {"m_plus", "+02:00 a+b"}, {"z_last", "2"}}));
    EXPECT_TRUE(logged(capture, "HTTP code HTTP/1.1 200 OK sys code 0 (success)"));
}

TEST(CameraSettings, WriteFailuresReportFalse)
{
    const FailureRow rows[] = {
        {"camera refuses the write",
         [](FakeZodivadadCamera& c) { c.setCgiReply(FakeHttpServer::Reply::withStatus(500, "<html/>", "text/html")); },
         "HTTP code HTTP/1.1 500 Internal Server Error sys code 0 (failed)"},
        {"credentials refused for ever",
         [](FakeZodivadadCamera& c) { c.requireAuth(FakeHttpServer::AuthScheme::basic, "admin", "other"); },
         "(failed)"},
        {"connection refused", [](FakeZodivadadCamera& c) { c.refuseConnections(); }, "HTTP code N/A sys code"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeZodivadadCamera camera;
        row.misbehave(camera);
        LogCapture capture(Level::verbose);

        EXPECT_FALSE(setCameraSettings(vorn::utils::Url(camera.urlWithCredentials("admin", "secret")),
                                       PasswordCredentials("admin", "secret"), kOperatorCgiPath, kSetLprSettingsAction,
                                       {{"a", "1"}}, shortTimeouts()));
        EXPECT_TRUE(logged(capture, row.expectedLog)) << capture.logger().texts().join("\n").toStdString();
        EXPECT_TRUE(logged(capture, "(failed)"));
        EXPECT_FALSE(logged(capture, "secret"));
    }
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
