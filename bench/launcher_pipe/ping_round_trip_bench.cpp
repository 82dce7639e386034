// A "pingWaypoint" round trip as another process makes it: connect to the launcher's pipe, write the
// request, read the reply to the end of the stream, close. Measured against a bare echo server on a
// local stream socket that takes one connection per request too (accept, one read, write it back,
// close), with the same client code and the same request bytes: the ratio is what the launcher's task
// server adds (its framing, the JSON reading and writing, the channel lookup) to the socket work that
// any server of this protocol must do. Goal: at most 2x.
#include <atomic>
#include <string>
#include <thread>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QtCore/QDateTime>

#include <qtsinglecoreapplication.h>
#include <vorn/testing/raw_pipe_client.h>
#include <vorn/testing/scratch_folder.h>
#include <vorn/utils/log/log.h>
#include <vorn/vms/waypoint/api/tasks.h>

#include "bench_support.h"
#include "task_server_new.h"

namespace {

using namespace vorn::vms::waypoint;

const std::string kRequest = "pingWaypoint\n{\"value1\":\"7\",\"value2\":\"9\"}";

std::string pipeName(const char* what)
{
    return std::string("bench-") + what + "-" + std::to_string(::getpid());
}

// The task server listens only inside a single-instance application object, as in the launcher. Its
// lock lives in the program's own temp folder, removed at the end (after the object, made later).
void ensureApplication()
{
    static const vorn::testing::ScratchFolder scratch(vorn::testing::ScratchFolder::Temp::redirect);
    static int argc = 1;
    static char name[] = "bench_launcher_pipe";
    static char* argv[] = {name, nullptr};
    static QtSingleCoreApplication app(QString::fromStdString(pipeName("app")), argc, argv);
}

// The launcher's task server with the ping channel as the launcher subscribes it.
class LauncherServer
{
public:
    LauncherServer()
    {
        ensureApplication();
        // Log statements of level 5 (one per request) are not part of the path measured.
        vorn::utils::log::setMaxLevel(vorn::utils::log::Level::warning);
        m_server.subscribe("pingWaypoint", [](const vorn::vms::waypoint::api::PingRequest& request,
                                              vorn::vms::waypoint::api::PingResponse& response) {
            response.value1 = request.value1;
            response.value2 = request.value2;
            response.timeMs = QDateTime::currentMSecsSinceEpoch();
        });
        m_ok = m_server.listen(QString::fromStdString(m_name));
    }
    bool ok() const { return m_ok; }
    std::string path() const { return "/tmp/" + m_name; }

private:
    const std::string m_name = pipeName("launcher");
    TaskServerNew m_server;
    bool m_ok = false;
};

// Accepts one connection at a time, reads once, writes the bytes back and closes.
class EchoServer
{
public:
    EchoServer()
    {
        ::unlink(m_path.c_str());
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_path.c_str(), sizeof(address.sun_path) - 1);
        m_ok =
            ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 && ::listen(m_fd, 16) == 0;
        m_thread = std::thread([this] { run(); });
    }
    ~EchoServer()
    {
        m_stop = true;
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
    bool ok() const { return m_ok; }
    const std::string& path() const { return m_path; }

private:
    void run()
    {
        char buffer[4096];
        while (!m_stop) {
            const int client = ::accept(m_fd, nullptr, nullptr);
            if (client < 0)
                continue;
            const ssize_t received = ::recv(client, buffer, sizeof(buffer), 0);
            if (received > 0)
                ::send(client, buffer, static_cast<size_t>(received), MSG_NOSIGNAL);
            ::close(client);
        }
    }

    const std::string m_path = "/tmp/" + pipeName("echo");
    int m_fd = -1;
    bool m_ok = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void roundTrips(benchmark::State& state, const std::string& path, bool ready)
{
    if (!ready) {
        state.SkipWithError("the server did not listen");
        return;
    }
    vorn::bench::AllocationMeter allocations(state);
    for (auto _ : state) {
        const auto reply = vorn::testing::rawPipeExchange(path, {kRequest});
        if (reply.bytes.size() < 4) {
            state.SkipWithError("no reply");
            break;
        }
        benchmark::DoNotOptimize(reply.bytes.data());
    }
}

const bool kRegistered = [] {
    vorn::bench::registerComparison(
        {"Launcher pipe round trip", "pingWaypoint: connect, request, reply, close",
         "bare echo server, one connection per request"},
        // One server of each kind for the program's life: the benchmark library calls each side
        // several times, and a task server takes up to its accept period to stop.
        [](benchmark::State& state) {
            static LauncherServer server;
            roundTrips(state, server.path(), server.ok());
        },
        [](benchmark::State& state) {
            static EchoServer server;
            roundTrips(state, server.path(), server.ok());
        });
    return true;
}();

} // namespace
