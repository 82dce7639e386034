#include <fake_zodivadad_camera/vca_push_server.h>

#include <array>
#include <deque>
#include <future>
#include <random>
#include <set>
#include <utility>

#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>

#include <QtCore/QCryptographicHash>
#include <QtCore/QJsonDocument>

#include <fake_zodivadad_camera/vca_wire.h>

namespace vorn::testing {

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;

namespace {

QByteArray md5Hex(const QString& text)
{
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex();
}

std::string registerFrame(const QJsonObject& reply)
{
    return vca_wire::frame(vca_wire::kRegisterCommand,
                           QJsonDocument(reply).toJson(QJsonDocument::Compact).toStdString());
}

std::string newNonce()
{
    static std::mutex mutex;
    static std::mt19937_64 random{std::random_device{}()};
    const std::lock_guard lock(mutex);
    char nonce[33];
    std::snprintf(nonce, sizeof(nonce), "%016llx%016llx", static_cast<unsigned long long>(random()),
                  static_cast<unsigned long long>(random()));
    return nonce;
}

} // namespace

//-------------------------------------------------------------------------------------------------

class VcaPushServer::Session : public std::enable_shared_from_this<Session>
{
public:
    using Done = std::function<void(bool written)>;

    Session(VcaPushServer& server, tcp::socket socket, std::size_t number)
        : number(number)
        , m_server(server)
        , m_socket(std::move(socket))
    {
        error_code ignored;
        m_socket.set_option(tcp::no_delay(true), ignored); // Each write goes out as its own segment.
    }

    void start() { read(); }

    bool isOpen() const { return m_socket.is_open(); }

    void write(std::string bytes, Done done = {})
    {
        if (!isOpen()) {
            if (done)
                done(false);
            return;
        }
        m_queue.emplace_back(std::move(bytes), std::move(done));
        if (m_queue.size() == 1)
            writeFront();
    }

    // Lets the answers already queued go out first, as a camera that hangs up after its last word.
    void closeWhenWritten()
    {
        if (m_queue.empty())
            close();
        else
            m_closeWhenWritten = true;
    }

    void close()
    {
        error_code ignored;
        m_socket.shutdown(tcp::socket::shutdown_both, ignored);
        m_socket.close(ignored);
    }

    const std::size_t number;
    std::set<std::string> issuedNonces;

private:
    void read()
    {
        m_socket.async_read_some(
            asio::buffer(m_chunk),
            [self = shared_from_this()](error_code error, std::size_t count) { self->onRead(error, count); });
    }

    void onRead(error_code error, std::size_t count)
    {
        if (error) {
            close();
            return;
        }
        m_received.append(m_chunk.data(), count);
        for (;;) {
            vca_wire::Frame frame;
            const vca_wire::ReadStatus status = vca_wire::readFrame(&m_received, &frame);
            if (status == vca_wire::ReadStatus::needMore)
                break;
            if (status == vca_wire::ReadStatus::bad) {
                {
                    const std::lock_guard lock(m_server.m_recordsMutex);
                    ++m_server.m_badFrameCount;
                }
                m_server.m_recordsChanged.notify_all();
                closeWhenWritten();
                return;
            }
            if (frame.command == vca_wire::kRegisterCommand)
                m_server.onRegistration(*this, std::move(frame.payload));
        }
        read();
    }

    void writeFront()
    {
        asio::async_write(m_socket, asio::buffer(m_queue.front().first),
                          [self = shared_from_this()](error_code error, std::size_t) {
                              auto [bytes, done] = std::move(self->m_queue.front());
                              self->m_queue.pop_front();
                              if (done)
                                  done(!error);
                              if (error) {
                                  for (auto& [unsent, unsentDone] : self->m_queue) {
                                      if (unsentDone)
                                          unsentDone(false);
                                  }
                                  self->m_queue.clear();
                                  return;
                              }
                              if (!self->m_queue.empty())
                                  self->writeFront();
                              else if (self->m_closeWhenWritten)
                                  self->close();
                          });
    }

    VcaPushServer& m_server;
    tcp::socket m_socket;
    std::array<char, 4096> m_chunk{};
    std::string m_received;
    std::deque<std::pair<std::string, Done>> m_queue; //< Front: the write in progress.
    bool m_closeWhenWritten = false;
};

//-------------------------------------------------------------------------------------------------

VcaPushServer::VcaPushServer()
    : m_acceptor(m_io)
{
    listen();
    m_thread = std::thread([this] {
        const auto work = asio::make_work_guard(m_io);
        m_io.run();
    });
}

VcaPushServer::~VcaPushServer()
{
    stop();
}

void VcaPushServer::listen()
{
    const tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), m_port);
    m_acceptor.open(endpoint.protocol());
    m_acceptor.set_option(tcp::acceptor::reuse_address(true));
    m_acceptor.bind(endpoint);
    m_acceptor.listen();
    m_port = m_acceptor.local_endpoint().port();
    accept();
}

void VcaPushServer::accept()
{
    m_acceptor.async_accept([this](error_code error, tcp::socket socket) {
        if (error)
            return; // Closed: stopListening() or stop().
        std::size_t number = 0;
        {
            const std::lock_guard lock(m_recordsMutex);
            number = ++m_connectionCount;
        }
        m_recordsChanged.notify_all();
        auto session = std::make_shared<Session>(*this, std::move(socket), number);
        std::erase_if(m_sessions, [](const std::weak_ptr<Session>& weak) { return weak.expired(); });
        m_sessions.push_back(session);
        session->start();
        accept();
    });
}

void VcaPushServer::runOnServerThread(std::function<void()> task)
{
    if (m_stopped)
        return;
    // Shared, so that a task that stop() drops unrun breaks the promise instead of leaving us waiting.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    asio::post(m_io, [task = std::move(task), done] {
        task();
        done->set_value();
    });
    finished.wait();
}

void VcaPushServer::setRegistrationResult(int result)
{
    const std::lock_guard lock(m_configMutex);
    m_registrationResult = result;
}

void VcaPushServer::requireDigest(std::string user, std::string password, std::string realm)
{
    const std::lock_guard lock(m_configMutex);
    m_digestRequired = true;
    m_user = std::move(user);
    m_password = std::move(password);
    m_realm = std::move(realm);
}

void VcaPushServer::setSectionAnswer(std::string section, int value)
{
    const std::lock_guard lock(m_configMutex);
    m_sectionAnswers[std::move(section)] = value;
}

void VcaPushServer::setBehindAcceptance(std::string bytes)
{
    const std::lock_guard lock(m_configMutex);
    m_behindAcceptance = std::move(bytes);
}

void VcaPushServer::setReplyHandler(ReplyHandler handler)
{
    const std::lock_guard lock(m_configMutex);
    m_replyHandler = std::move(handler);
}

bool VcaPushServer::push(std::string_view bytes)
{
    return write(bytes, {}, nullptr);
}

bool VcaPushServer::push(std::string_view bytes, std::chrono::steady_clock::time_point* writeStart)
{
    return write(bytes, {}, writeStart);
}

bool VcaPushServer::pushInPieces(std::string_view bytes, const std::vector<std::size_t>& cuts)
{
    return write(bytes, cuts, nullptr);
}

bool VcaPushServer::write(std::string_view bytes, const std::vector<std::size_t>& cuts,
                          std::chrono::steady_clock::time_point* writeStart)
{
    if (m_stopped)
        return false;
    auto written = std::make_shared<std::promise<bool>>();
    std::future<bool> result = written->get_future();
    asio::post(m_io, [this, bytes = std::string(bytes), cuts, written, writeStart] {
        std::shared_ptr<Session> target;
        for (auto it = m_sessions.rbegin(); it != m_sessions.rend() && !target; ++it) {
            if (auto session = it->lock(); session && session->isOpen())
                target = std::move(session);
        }
        if (!target) {
            written->set_value(false);
            return;
        }
        std::size_t start = 0;
        std::vector<std::string> pieces;
        for (const std::size_t cut : cuts) {
            if (cut <= start || cut >= bytes.size())
                continue;
            pieces.push_back(bytes.substr(start, cut - start));
            start = cut;
        }
        pieces.push_back(bytes.substr(start));
        // The caller reads the time only once the promise below is kept. An idle session writes to its
        // socket at once, inside write().
        if (writeStart)
            *writeStart = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i + 1 < pieces.size(); ++i)
            target->write(std::move(pieces[i]));
        target->write(std::move(pieces.back()), [written](bool ok) { written->set_value(ok); });
    });
    try {
        return result.get();
    } catch (const std::future_error&) {
        return false; // The server stopped with the write still queued.
    }
}

void VcaPushServer::closeConnections()
{
    runOnServerThread([this] {
        for (const std::weak_ptr<Session>& weak : m_sessions) {
            if (const std::shared_ptr<Session> session = weak.lock())
                session->close();
        }
    });
}

void VcaPushServer::stopListening()
{
    runOnServerThread([this] {
        error_code ignored;
        m_acceptor.close(ignored);
    });
}

void VcaPushServer::resumeListening()
{
    runOnServerThread([this] {
        if (!m_acceptor.is_open())
            listen();
    });
}

void VcaPushServer::stop()
{
    if (m_stopped.exchange(true))
        return;
    asio::post(m_io, [this] {
        error_code ignored;
        m_acceptor.close(ignored);
        for (const std::weak_ptr<Session>& weak : m_sessions) {
            if (const std::shared_ptr<Session> session = weak.lock())
                session->close();
        }
        m_io.stop();
    });
    m_thread.join();
}

std::size_t VcaPushServer::connectionCount() const
{
    const std::lock_guard lock(m_recordsMutex);
    return m_connectionCount;
}

std::vector<VcaPushServer::Registration> VcaPushServer::registrations() const
{
    const std::lock_guard lock(m_recordsMutex);
    return m_registrations;
}

std::size_t VcaPushServer::badFrameCount() const
{
    const std::lock_guard lock(m_recordsMutex);
    return m_badFrameCount;
}

bool VcaPushServer::waitForConnections(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_recordsMutex);
    return m_recordsChanged.wait_for(lock, timeout, [&] { return m_connectionCount >= count; });
}

bool VcaPushServer::waitForRegistrations(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_recordsMutex);
    return m_recordsChanged.wait_for(lock, timeout, [&] { return m_registrations.size() >= count; });
}

void VcaPushServer::onRegistration(Session& session, std::string payload)
{
    Registration registration;
    registration.connection = session.number;
    registration.text = std::move(payload);
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(registration.text));
    registration.json = document.object();
    registration.hasDigest = registration.json.contains(QStringLiteral("Authorization"));

    std::string answer = answerTo(session, registration);
    {
        const std::lock_guard lock(m_recordsMutex);
        m_registrations.push_back(registration);
    }
    m_recordsChanged.notify_all();
    if (!answer.empty())
        session.write(std::move(answer));
}

std::string VcaPushServer::answerTo(Session& session, Registration& registration)
{
    ReplyHandler handler;
    bool digestRequired = false;
    int result = 200;
    std::string user, password, realm, behind;
    std::map<std::string, int> sections;
    {
        const std::lock_guard lock(m_configMutex);
        handler = m_replyHandler;
        digestRequired = m_digestRequired;
        result = m_registrationResult;
        user = m_user;
        password = m_password;
        realm = m_realm;
        behind = m_behindAcceptance;
        sections = m_sectionAnswers;
    }
    if (handler)
        return handler(registration);

    if (digestRequired) {
        const QJsonObject& request = registration.json;
        if (!registration.hasDigest) {
            const std::string nonce = newNonce();
            session.issuedNonces.insert(nonce);
            return registerFrame({{"result", 401},
                                  {"nonce", QString::fromStdString(nonce)},
                                  {"realm", QString::fromStdString(realm)},
                                  {"qop", "auth"}});
        }
        const auto member = [&request](const char* name) { return request.value(QLatin1String(name)).toString(); };
        const QString qop = member("qop");
        const QByteArray ha1 = md5Hex(QString::fromStdString(user + ":" + realm + ":" + password));
        const QByteArray ha2 = md5Hex(member("cmd") + ":" + member("uri"));
        const QByteArray expected =
            qop.isEmpty() ? md5Hex(QString::fromLatin1(ha1) + ":" + member("nonce") + ":" + QString::fromLatin1(ha2))
                          : md5Hex(QString::fromLatin1(ha1) + ":" + member("nonce") + ":" + member("nc") + ":" +
                                   member("cnonce") + ":" + qop + ":" + QString::fromLatin1(ha2));
        registration.digestValid =
            member("Authorization") == "Digest" && member("cmd") == "GET" && member("uri") == "ipcsdk" &&
            member("user") == QString::fromStdString(user) && member("realm") == QString::fromStdString(realm) &&
            session.issuedNonces.count(member("nonce").toStdString()) > 0 && member("response").toLatin1() == expected;
        if (!registration.digestValid)
            return registerFrame({{"result", 401}});
    }

    QJsonObject reply{{"result", result}};
    for (const auto& [section, value] : sections)
        reply.insert(QString::fromStdString(section), value);
    std::string answer = registerFrame(reply);
    if (result != 401)
        answer += behind;
    return answer;
}

} // namespace vorn::testing
