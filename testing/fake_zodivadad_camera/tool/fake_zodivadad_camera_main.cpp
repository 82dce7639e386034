// fake_zodivadad_camera: one fake Zodivadad camera as a program, for demos and manual runs of the
// plugin through vms_plugin_host. Run it with --help for its flags.
//
// It listens (HTTP CGI, video-analytics push port, licence-plate push port) on ports the system picks and
// reports them, waits for the plugin to register or log in, pushes what its flags ask for, and then stays
// up until its time is over or a stop signal arrives, so the plugin's channels stay connected while the
// host runs. What it pushes goes to stdout, one line each.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <fake_zodivadad_camera/fake_zodivadad_camera.h>
#include <fake_zodivadad_camera/lpr_packet_encoder.h>
#include <fake_zodivadad_camera/lpr_push_server.h>
#include <fake_zodivadad_camera/vca_push_server.h>
#include <fake_zodivadad_camera/vca_wire.h>

#include <vorn/testing/stop_signals.h>

#include "camera_tool_options.h"

namespace {

using namespace vorn::testing;
using Clock = std::chrono::steady_clock;
using zodivadad::CameraToolOptions;

constexpr int kExitOk = 0;
constexpr int kExitNoClient = 1;
constexpr int kExitUsage = 2;

// Sleeps until the deadline; true when a stop signal came first (one that came while the camera was
// busy is still pending, so this returns at once).
bool waitUntil(Clock::time_point deadline)
{
    return vorn::testing::waitForStopSignalUntil(deadline);
}

Clock::time_point after(double seconds)
{
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// Written next to the target and renamed over it, so a script polling for the file never reads half a line.
bool writePortsFile(const std::string& path, const std::string& line)
{
    const std::string temporary = path + ".partial";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << line << '\n';
        if (!file.flush())
            return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    return !error;
}

// "2024-05-01T10:20:30Z": the camera's clock as its pushes carry it.
std::string isoTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// Bytes that look like a JPEG file to anyone who checks its start and end markers.
std::string fakeJpeg(std::size_t size, unsigned seed)
{
    std::string bytes = "\xFF\xD8\xFF\xE0";
    bytes += std::string("\0\x10JFIF\0", 7);
    while (bytes.size() + 2 < size)
        bytes.push_back(static_cast<char>((bytes.size() * 31 + seed * 7) & 0xFF));
    bytes += "\xFF\xD9";
    return bytes;
}

struct Push
{
    std::string description;
    std::string bytes;
};

// The video-analytics pushes, one kind after the other.
Push alarmPush(int index)
{
    using namespace vca_wire;
    const std::string time = "\"time\":\"" + isoTimeNow() + "\"";
    switch (index % 5) {
    case 0:
        return {"motion alarm in area 1", frame(kBasicAlarmCommand, R"({"event":1,"alarm":1,)" + time + "}")};
    case 1:
        return {"line crossing on line 2",
                frame(kVcaAlarmCommand,
                      jsonChunk(R"({"event":4,"alarm":1,"line":2,"direction":1,"object":2,)" + time + "}"))};
    case 2:
        return {"region entrance", frame(kVcaAlarmCommand, jsonChunk(R"({"event":0,"alarm":1,)" + time + "}"))};
    case 3:
        return {"people count 12 in, 7 out",
                frame(kVcaCountCommand, R"({"event":0,"in":12,"out":7,"capacity":40,"sum":5,)" + time + "}")};
    default:
        return {"face with its image",
                frame(kFaceCommand, jsonChunk(R"({"event":0,"alarm":1,)" + time +
                                              R"(,"face_data":[{"id":7,"age":34,"gender":1,"glasses":0}]})") +
                                        imageChunk(fakeJpeg(2048, 5)))};
    }
}

zodivadad::LprPlate platePush(int index)
{
    static const char* const kNumbers[] = {"B ZV 1042", "M AB 2231", "HH K 770", "S RT 5119"};
    zodivadad::LprPlate plate;
    plate.timestampMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    plate.plateNumber = kNumbers[index % 4];
    plate.country = "DE";
    plate.plateColor = 7; // white
    plate.plateType = 2;  // "White"
    plate.vehicleColor = static_cast<uint8_t>(1 + index % 10);
    plate.vehicleKind = static_cast<uint8_t>(1 + index % 5);
    plate.speed = static_cast<uint16_t>(30 + 7 * index);
    plate.direction = static_cast<uint8_t>(1 + index % 2); // incoming, outgoing
    plate.plateConfidence = 0.93F;
    plate.x1 = static_cast<uint16_t>(820 + 20 * (index % 4));
    plate.x2 = static_cast<uint16_t>(plate.x1 + 140);
    // The plate crop, then the whole vehicle: the plugin gives the smaller one to the plate.
    plate.images = {fakeJpeg(3000 + 10 * static_cast<std::size_t>(index), 1),
                    fakeJpeg(24000 + 10 * static_cast<std::size_t>(index), 2)};
    return plate;
}

class FakeCameraProgram
{
public:
    explicit FakeCameraProgram(CameraToolOptions options)
        : m_options(std::move(options))
    {
        m_camera.setLprSupport(m_options.lpr);
        for (const char* section : {"basicalarm", "vcaalarm", "vcacount", "regionalcount", "face", "radar"})
            m_vca.setSectionAnswer(section, 1);
        if (!m_options.login.empty()) {
            m_camera.requireAuth(FakeHttpServer::AuthScheme::digest, m_options.login, m_options.password);
            m_vca.requireDigest(m_options.login, m_options.password);
            m_lpr.setCredentials(m_options.login, m_options.password);
        }
    }

    int run()
    {
        const auto end = m_options.runForSeconds ? std::optional(after(*m_options.runForSeconds)) : std::nullopt;
        const std::string ports = "http=" + std::to_string(m_camera.httpPort()) +
                                  " vca=" + std::to_string(m_vca.port()) + " lpr=" + std::to_string(m_lpr.port());
        say("listening " + ports + (m_options.lpr ? " (licence-plate camera)" : " (video-analytics camera)"));
        if (!m_options.portsFile.empty() && !writePortsFile(m_options.portsFile, ports)) {
            std::fprintf(stderr, "fake_zodivadad_camera: cannot write %s\n", m_options.portsFile.c_str());
            return kExitUsage;
        }

        int status = kExitOk;
        const int pushes = m_options.lpr ? m_options.plates : m_options.alarms;
        if (pushes > 0) {
            const std::optional<bool> connected = waitForClient(earliest(after(m_options.waitForClientSeconds), end));
            if (!connected)
                return kExitOk; // Told to stop.
            if (!*connected) {
                say("no plugin came; nothing pushed");
                status = kExitNoClient;
            } else {
                for (int i = 0; i < pushes; ++i) {
                    if (i > 0 &&
                        waitUntil(earliest(Clock::now() + std::chrono::milliseconds(m_options.intervalMs), end)))
                        return status;
                    if (end && Clock::now() >= *end)
                        return status;
                    if (!push(i))
                        status = kExitNoClient;
                }
                say("all " + std::to_string(pushes) + " pushes sent");
            }
        }
        if (end)
            waitUntil(*end);
        else
            vorn::testing::waitForStopSignal(std::nullopt);
        return status;
    }

private:
    static Clock::time_point earliest(Clock::time_point time, const std::optional<Clock::time_point>& end)
    {
        return end ? std::min(time, *end) : time;
    }

    static void say(const std::string& line)
    {
        std::printf("camera: %s\n", line.c_str());
        std::fflush(stdout);
    }

    // True when the plugin registered (or logged in), false when the time ran out, none on a stop signal.
    std::optional<bool> waitForClient(Clock::time_point deadline)
    {
        for (;;) {
            if (clientIsThere()) {
                say(m_options.lpr ? "plugin logged in" : "plugin registered");
                return true;
            }
            if (Clock::now() >= deadline)
                return false;
            if (waitUntil(std::min(deadline, Clock::now() + std::chrono::milliseconds(50))))
                return std::nullopt;
        }
    }

    bool clientIsThere() const
    {
        if (m_options.lpr)
            return m_lpr.waitForLogins(1, std::chrono::milliseconds(0));
        for (const VcaPushServer::Registration& registration : m_vca.registrations()) {
            if (m_options.login.empty() || registration.digestValid)
                return true;
        }
        return false;
    }

    bool push(int index)
    {
        if (m_options.lpr) {
            const zodivadad::LprPlate plate = platePush(index);
            const bool sent = m_lpr.pushPlates({plate}) > 0;
            say((sent ? "pushed plate " : "no connection for plate ") + plate.plateNumber + " with " +
                std::to_string(plate.images.size()) + " images");
            return sent;
        }
        const Push alarm = alarmPush(index);
        const bool sent = m_vca.push(alarm.bytes);
        say((sent ? "pushed " : "no connection for ") + alarm.description);
        return sent;
    }

    const CameraToolOptions m_options;
    FakeZodivadadCamera m_camera;
    VcaPushServer m_vca;
    zodivadad::LprPushServer m_lpr;
};

} // namespace

int main(int argc, char** argv)
{
    // Blocked before any thread starts, so every thread of the camera inherits the mask.
    vorn::testing::blockStopSignals();

    CameraToolOptions options;
    const std::string error = CameraToolOptions::parse(std::vector<std::string>(argv + 1, argv + argc), &options);
    if (options.help) {
        std::fputs(CameraToolOptions::usage().c_str(), stdout);
        return kExitOk;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "fake_zodivadad_camera: %s\n\n%s", error.c_str(), CameraToolOptions::usage().c_str());
        return kExitUsage;
    }
    FakeCameraProgram program(std::move(options));
    return program.run();
}
