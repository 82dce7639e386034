// HttpPoster: the camera's side of an HTTP push as a scale run times it: a blocking POST over a plain
// socket that waits for the answer, with the time the push left the camera.
//
//     HttpPoster poster(HttpPoster::Connections::keptAlive);
//     std::chrono::steady_clock::time_point sent;
//     if (poster.post("127.0.0.1", port, "/LAPI/V1.0/System/Event/Notification/Alarm", body, &sent) != 200) ...
//
// With onePerPost every push connects anew and asks the receiver to close ("Connection: close"), as a
// camera that opens a connection per event does; the push leaves the camera when it starts to connect, so
// the receiver's accept is part of its latency. With keptAlive the connection is reused while the
// receiver keeps it open, and the push leaves the camera at its write.
//
// post() is thread-safe: posts of one poster go one after another. The socket code is this file's own,
// so that the camera's cost before the write (an event loop, a parser) stays out of what is measured.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace vorn::bench::scale {

class HttpPoster
{
public:
    enum class Connections { onePerPost, keptAlive };

    explicit HttpPoster(Connections connections);
    ~HttpPoster();

    HttpPoster(const HttpPoster&) = delete;
    HttpPoster& operator=(const HttpPoster&) = delete;

    /** The answer's status; 0 when none came (refused, closed, cut short, not HTTP). */
    int post(const std::string& host, std::uint16_t port, const std::string& path, const std::string& body,
             std::chrono::steady_clock::time_point* sent);

private:
    int exchange(const std::string& request, bool reused, std::chrono::steady_clock::time_point* sent,
                 const std::string& host, std::uint16_t port);
    void closeSocket();

    const Connections m_connections;
    std::mutex m_mutex; //< Guards the socket: one post at a time.
    int m_fd = -1;
    std::string m_peer; //< host:port of the open socket.
    std::string m_answer;
};

} // namespace vorn::bench::scale
