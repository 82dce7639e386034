#include <vorn/utils/named_pipe/named_pipe_server.h>
#include <vorn/utils/named_pipe/named_pipe_socket.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace vorn::utils {
namespace {

std::string uniquePipeName()
{
    static std::atomic<int> counter{0};
    return "named-pipe-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

bool exists(const std::string& path)
{
    struct stat info
    {
    };
    return ::lstat(path.c_str(), &info) == 0;
}

// A user id that is not this process's.
uid_t otherUser()
{
    return ::geteuid() + 4242;
}

// A socket file made with plain socket calls, listening or (as a process that died leaves it) not.
// Removed with the object, whoever owns it by then.
class RawSocketFile
{
public:
    RawSocketFile(const std::string& path, bool listening)
        : m_path(path)
        , m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        m_ok = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
               (!listening || ::listen(m_fd, 4) == 0);
        if (!listening) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~RawSocketFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    RawSocketFile(const RawSocketFile&) = delete;
    RawSocketFile& operator=(const RawSocketFile&) = delete;

    bool ok() const { return m_ok; }
    // Leaves the file behind when the object goes, as a process that died does; answers ok().
    bool keep()
    {
        m_path.clear();
        return m_ok;
    }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_ok = false;
};

TEST(NamedPipe, ClientTalksOnlyToAServerOfTheExpectedUser)
{
    const std::string name = uniquePipeName();
    NamedPipeServer server;
    ASSERT_EQ(server.listen(name), SystemError::noError);

    struct Row
    {
        const char* name;
        uid_t serverUser;
        SystemError::ErrorCode expected;
    };
    const Row rows[] = {
        {"own user", ::geteuid(), SystemError::noError},
        {"another user", otherUser(), kOtherUserError},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        NamedPipeSocket client;
        ASSERT_EQ(client.connectToServerSync(name, 3000, row.serverUser), row.expected);
        EXPECT_EQ(client.isConnected(), row.expected == SystemError::noError);
        unsigned written = 0;
        client.write("x", 1, &written);
        client.close();

        // The server saw the connection; a refused one brought no byte and was closed at once.
        NamedPipeSocket* accepted = nullptr;
        ASSERT_EQ(server.accept(&accepted, 3000), SystemError::noError);
        char byte = 0;
        unsigned received = 0;
        EXPECT_EQ(accepted->read(&byte, 1, &received, 3000), SystemError::noError);
        EXPECT_EQ(received, row.expected == SystemError::noError ? 1u : 0u);
        delete accepted;
    }

    // The form without a user expects this process's own.
    NamedPipeSocket own;
    EXPECT_EQ(own.connectToServerSync(name, 3000), SystemError::noError);
}

TEST(NamedPipeServer, NeverTakesOverFilesOfAnotherUser)
{
    enum class File { staleSocket, answeringSocket, regularFile, lockFileOnly };
    struct Row
    {
        const char* name;
        File file;
    };
    const Row rows[] = {
        {"stale socket file", File::staleSocket},
        {"socket file a server answers on", File::answeringSocket},
        {"regular file", File::regularFile},
        {"lock file", File::lockFileOnly},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string name = uniquePipeName();
        const std::string path = namedPipePath(name);
        const std::string claimed = row.file == File::lockFileOnly ? path + ".lock" : path;

        std::unique_ptr<RawSocketFile> socketFile;
        if (row.file == File::staleSocket || row.file == File::answeringSocket) {
            socketFile = std::make_unique<RawSocketFile>(path, row.file == File::answeringSocket);
            ASSERT_TRUE(socketFile->ok());
        } else {
            const int fd = ::open(claimed.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
        if (::chown(claimed.c_str(), otherUser(), static_cast<gid_t>(-1)) != 0) {
            ::unlink(claimed.c_str());
            GTEST_SKIP() << "giving a file to another user needs root";
        }

        NamedPipeServer server;
        EXPECT_EQ(server.listen(name), kOtherUserError);
        EXPECT_TRUE(server.path().empty());
        struct stat info
        {
        };
        ASSERT_EQ(::lstat(claimed.c_str(), &info), 0) << "the other user's file was removed";
        EXPECT_EQ(info.st_uid, otherUser());
        if (row.file != File::lockFileOnly) {
            EXPECT_FALSE(exists(path + ".lock"));
        }
        ::unlink(claimed.c_str());
    }
}

TEST(NamedPipeServer, OneOfSimultaneousListensWinsAndNoLockFileStays)
{
    const std::string name = uniquePipeName();
    const std::string path = namedPipePath(name);
    // Left by a process that died: every listener finds it stale, only one may replace it.
    ASSERT_TRUE(RawSocketFile(path, false).keep());

    constexpr int kListeners = 8;
    std::vector<std::unique_ptr<NamedPipeServer>> servers;
    std::vector<SystemError::ErrorCode> results(kListeners, SystemError::noError);
    for (int i = 0; i < kListeners; ++i)
        servers.push_back(std::make_unique<NamedPipeServer>());
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kListeners; ++i) {
        threads.emplace_back([&, i] {
            while (!go.load())
                std::this_thread::yield();
            results[i] = servers[i]->listen(name);
        });
    }
    go.store(true);
    for (std::thread& thread : threads)
        thread.join();

    int winners = 0;
    for (const SystemError::ErrorCode result : results) {
        if (result == SystemError::noError) {
            ++winners;
        } else {
            EXPECT_EQ(result, static_cast<SystemError::ErrorCode>(EADDRINUSE));
        }
    }
    EXPECT_EQ(winners, 1);
    EXPECT_FALSE(exists(path + ".lock"));
    NamedPipeSocket client;
    EXPECT_EQ(client.connectToServerSync(name, 3000), SystemError::noError);

    servers.clear();
    EXPECT_FALSE(exists(path));
}

} // namespace
} // namespace vorn::utils
