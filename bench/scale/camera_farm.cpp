#include "camera_farm.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

#include <boost/json.hpp>

namespace vorn::bench::scale {

namespace json = boost::json;
using Clock = std::chrono::steady_clock;

namespace {

// The camera process's cameras must be gone by then; beyond it the process is killed.
constexpr auto kQuitTimeout = std::chrono::seconds(20);
// Threads that push (see pushAll()), and the time they get to start before the first push is due.
constexpr std::size_t kDrivers = 4;
constexpr auto kPushLead = std::chrono::milliseconds(20);
// How often the end of the camera process is looked for while it quits.
constexpr auto kQuitPoll = std::chrono::milliseconds(10);

std::string text(const json::value& value)
{
    return value.is_string() ? std::string(value.get_string()) : std::string();
}

std::optional<std::string> readLine(std::FILE* file)
{
    char* line = nullptr;
    std::size_t capacity = 0;
    const ssize_t length = ::getline(&line, &capacity, file);
    std::optional<std::string> result;
    if (length > 0)
        result.emplace(line, static_cast<std::size_t>(line[length - 1] == '\n' ? length - 1 : length));
    std::free(line);
    return result;
}

bool writeLine(std::FILE* file, const json::value& value)
{
    const std::string line = json::serialize(value) + "\n";
    return std::fwrite(line.data(), 1, line.size(), file) == line.size() && std::fflush(file) == 0;
}

json::object describe(const CameraDescription& camera)
{
    json::array settings;
    for (const auto& [name, value] : camera.settings)
        settings.push_back(json::array{json::string(name), json::string(value)});
    return {{"vendor", camera.vendor}, {"model", camera.model},       {"url", camera.url},
            {"login", camera.login},   {"password", camera.password}, {"settings", std::move(settings)}};
}

CameraDescription cameraFrom(const json::object& object)
{
    CameraDescription camera;
    camera.vendor = text(object.contains("vendor") ? object.at("vendor") : json::value());
    camera.model = text(object.contains("model") ? object.at("model") : json::value());
    camera.url = text(object.contains("url") ? object.at("url") : json::value());
    camera.login = text(object.contains("login") ? object.at("login") : json::value());
    camera.password = text(object.contains("password") ? object.at("password") : json::value());
    if (const auto* settings = object.if_contains("settings"); settings && settings->is_array()) {
        for (const json::value& setting : settings->get_array()) {
            if (setting.is_array() && setting.get_array().size() == 2)
                camera.settings.emplace_back(text(setting.get_array()[0]), text(setting.get_array()[1]));
        }
    }
    return camera;
}

// Paced on absolute times, so that a late push is followed at once by the next instead of shifting
// every later one: the rate holds over the run even when single sleeps overshoot. A push waits until its
// camera's thread has written it, which takes longer than 100 µs on a loaded machine, so several drivers
// share the schedule: driver d makes the pushes k with k % kDrivers == d.
json::object pushAll(std::vector<std::unique_ptr<ScaleCamera>>& cameras, double perSecond, std::size_t count)
{
    std::vector<std::int64_t> sendNs(count, 0);
    std::atomic<std::size_t> failed{0};
    const auto start = Clock::now() + kPushLead;
    const std::chrono::duration<double> period(1.0 / perSecond);
    const auto drive = [&](std::size_t driver) {
        for (std::size_t k = driver; k < count; k += kDrivers) {
            const auto due = start + std::chrono::duration_cast<Clock::duration>(period * static_cast<double>(k));
            if (Clock::now() < due)
                std::this_thread::sleep_until(due);
            ScaleCamera::TimePoint sent;
            if (cameras[k % cameras.size()]->push(static_cast<std::uint32_t>(k), &sent))
                sendNs[k] = sent.time_since_epoch() / std::chrono::nanoseconds(1);
            else
                failed.fetch_add(1, std::memory_order_relaxed);
        }
    };
    {
        std::vector<std::jthread> drivers;
        for (std::size_t driver = 0; driver < kDrivers; ++driver)
            drivers.emplace_back(drive, driver);
    }
    return {{"failed", failed.load()}, {"sendNs", json::value_from(sendNs)}};
}

// The camera process: makes the cameras, then answers requests until "quit" or the end of its input.
[[noreturn]] void serveCameras(const ScaleScenario& scenario, std::size_t count, int requestFd, int answerFd)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // Nothing to serve once the server process is gone.
    ::prctl(PR_SET_TIMERSLACK, 1UL);    // Pushes 100 µs apart need sleeps that end on time.
    std::FILE* requests = ::fdopen(requestFd, "r");
    std::FILE* answers = ::fdopen(answerFd, "w");
    if (!requests || !answers)
        ::_exit(1);

    int status = 0;
    {
        std::vector<std::unique_ptr<ScaleCamera>> cameras;
        try {
            cameras.reserve(count);
            for (std::size_t i = 0; i < count; ++i)
                cameras.push_back(scenario.makeCamera());
        } catch (const std::exception& exception) {
            writeLine(answers, json::object{{"error", std::string("cannot make the cameras: ") + exception.what()}});
            ::_exit(1);
        }
        for (const auto& camera : cameras)
            writeLine(answers, json::object{{"camera", describe(camera->description())}});
        writeLine(answers, json::object{{"ready", cameras.size()}});

        while (const std::optional<std::string> line = readLine(requests)) {
            boost::system::error_code error;
            const json::value request = json::parse(*line, error);
            const std::string command = !error && request.is_object() && request.get_object().contains("cmd")
                                            ? text(request.at("cmd"))
                                            : std::string();
            if (command == "live") {
                const Clock::time_point deadline =
                    Clock::now() + std::chrono::milliseconds(request.at("timeoutMs").to_number<std::int64_t>());
                std::size_t live = 0;
                for (const auto& camera : cameras)
                    live += camera->waitUntilLive(deadline) ? 1 : 0;
                writeLine(answers, json::object{{"live", live}});
            } else if (command == "push") {
                writeLine(answers, pushAll(cameras, request.at("perSecond").to_number<double>(),
                                           request.at("count").to_number<std::size_t>()));
            } else if (command == "quit") {
                break;
            } else {
                writeLine(answers, json::object{{"error", "unknown request: " + *line}});
                status = 1;
                break;
            }
        }
    } // The cameras stop here, their threads joined.
    std::fflush(answers);
    // Not exit(): the static objects of the process it was copied from are not this process's to destroy.
    ::_exit(status);
}

} // namespace

std::unique_ptr<CameraFarm> CameraFarm::start(const ScaleScenario& scenario, std::size_t cameraCount,
                                              std::string* error)
{
    int requestPipe[2];
    int answerPipe[2];
    if (::pipe2(requestPipe, O_CLOEXEC) != 0)
        return *error = "pipe2 failed", nullptr;
    if (::pipe2(answerPipe, O_CLOEXEC) != 0) {
        ::close(requestPipe[0]);
        ::close(requestPipe[1]);
        return *error = "pipe2 failed", nullptr;
    }
    std::fflush(nullptr); // The child must not write out what the parent has buffered.
    const pid_t pid = ::fork();
    if (pid < 0) {
        for (const int fd : {requestPipe[0], requestPipe[1], answerPipe[0], answerPipe[1]})
            ::close(fd);
        return *error = "fork failed", nullptr;
    }
    if (pid == 0) {
        ::close(requestPipe[1]);
        ::close(answerPipe[0]);
        serveCameras(scenario, cameraCount, requestPipe[0], answerPipe[1]);
    }
    ::close(requestPipe[0]);
    ::close(answerPipe[1]);

    std::unique_ptr<CameraFarm> farm(new CameraFarm());
    farm->m_pid = pid;
    farm->m_requests = ::fdopen(requestPipe[1], "w");
    farm->m_answers = ::fdopen(answerPipe[0], "r");
    if (!farm->m_requests || !farm->m_answers)
        return *error = "fdopen failed", nullptr;

    while (const std::optional<std::string> line = farm->receive()) {
        boost::system::error_code parseError;
        const json::value answer = json::parse(*line, parseError);
        if (parseError || !answer.is_object())
            return *error = "the camera process said: " + *line, nullptr;
        const json::object& object = answer.get_object();
        if (const auto* camera = object.if_contains("camera"); camera && camera->is_object()) {
            farm->m_cameras.push_back(cameraFrom(camera->get_object()));
        } else if (object.contains("ready")) {
            return farm;
        } else {
            return *error = "the camera process said: " + *line, nullptr;
        }
    }
    *error = "the camera process ended before its cameras were ready";
    return nullptr;
}

CameraFarm::~CameraFarm()
{
    if (m_requests) {
        send(json::serialize(json::object{{"cmd", "quit"}}));
        std::fclose(m_requests); // Its end of input is a quit too.
    }
    if (m_answers)
        std::fclose(m_answers);
    if (m_pid <= 0)
        return;
    const auto deadline = Clock::now() + kQuitTimeout;
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(kQuitPoll);
    }
}

std::size_t CameraFarm::waitUntilLive(Deadline deadline)
{
    const auto timeout = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (!send(
            json::serialize(json::object{{"cmd", "live"}, {"timeoutMs", std::max<std::int64_t>(timeout.count(), 0)}})))
        return 0;
    const std::optional<std::string> line = receive();
    boost::system::error_code error;
    const json::value answer = line ? json::parse(*line, error) : json::value();
    if (!line || error || !answer.is_object() || !answer.get_object().contains("live"))
        return 0;
    return answer.at("live").to_number<std::size_t>();
}

std::optional<CameraFarm::Pushes> CameraFarm::push(double perSecond, std::size_t count)
{
    if (!send(json::serialize(json::object{{"cmd", "push"}, {"perSecond", perSecond}, {"count", count}})))
        return std::nullopt;
    const std::optional<std::string> line = receive();
    boost::system::error_code error;
    const json::value answer = line ? json::parse(*line, error) : json::value();
    if (!line || error || !answer.is_object() || !answer.get_object().contains("sendNs"))
        return std::nullopt;
    Pushes pushes;
    pushes.failed = answer.at("failed").to_number<std::size_t>();
    for (const json::value& sent : answer.at("sendNs").get_array())
        pushes.sendNs.push_back(sent.to_number<std::int64_t>());
    return pushes;
}

bool CameraFarm::send(const std::string& line)
{
    return std::fputs((line + "\n").c_str(), m_requests) >= 0 && std::fflush(m_requests) == 0;
}

std::optional<std::string> CameraFarm::receive()
{
    return readLine(m_answers);
}

} // namespace vorn::bench::scale
