#include <vorn/utils/named_pipe/named_pipe_server.h>
#include <vorn/utils/named_pipe/named_pipe_socket.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vorn/testing/wait_until.h>

namespace vorn::utils {
namespace {

using vorn::testing::waitUntil;

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

// The lock of a listen() in progress, taken by the test in place of another listening process.
class HeldLock
{
public:
    explicit HeldLock(std::string path)
        : m_path(std::move(path))
        , m_fd(::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        struct stat info
        {
        };
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) == 0 && ::fstat(m_fd, &info) == 0)
            m_inode = info.st_ino;
    }
    ~HeldLock() { release(); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

    // 0 when the lock could not be taken.
    ino_t inode() const { return m_inode; }

    // Removes the lock file, as its holder does before it lets go; a file that replaced it stays.
    void removeFile()
    {
        struct stat info
        {
        };
        if (m_fd >= 0 && ::lstat(m_path.c_str(), &info) == 0 && info.st_ino == m_inode)
            ::unlink(m_path.c_str());
    }

    // Ends the hold as a listener does: the file goes while still locked, then the lock.
    void release()
    {
        removeFile();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    const std::string m_path;
    int m_fd = -1;
    ino_t m_inode = 0;
};

// Whether a thread of this process waits in flock() for the lock of the file with this inode, as the
// system lists it ("1: -> FLOCK  ADVISORY  WRITE <pid> <major>:<minor>:<inode> 0 EOF"). Empty when the
// system does not list its locks.
std::optional<bool> waitsForLockOf(ino_t inode)
{
    std::ifstream locks("/proc/locks");
    if (!locks)
        return std::nullopt;
    const std::string pid = std::to_string(::getpid());
    const std::string file = ":" + std::to_string(inode);
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, arrow, kind, mode, access, owner, where;
        fields >> number >> arrow >> kind >> mode >> access >> owner >> where;
        if (arrow == "->" && kind == "FLOCK" && owner == pid && where.ends_with(file))
            return true;
    }
    return false;
}

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

// A listener that waited for the lock may get it on a file that its holder has removed meanwhile, while
// a third has made a new lock file and holds that one: it must lock again, on the file that is there, and
// listen only when it holds that one.
TEST(NamedPipeServer, WaitsForTheLockFileThatIsThereNotTheOneItWaitedFor)
{
    const std::string name = uniquePipeName();
    const std::string lockPath = namedPipePath(name) + ".lock";
    NamedPipeServer server;
    std::atomic<bool> listened{false};
    SystemError::ErrorCode result = SystemError::noError;
    std::jthread listener; // Joined after the locks below are let go, whatever the test's end.

    HeldLock first(lockPath);
    ASSERT_NE(first.inode(), 0u);
    if (!waitsForLockOf(first.inode()).has_value())
        GTEST_SKIP() << "the system does not list its file locks";
    listener = std::jthread([&] {
        result = server.listen(name);
        listened = true;
    });
    ASSERT_TRUE(waitUntil([&] { return *waitsForLockOf(first.inode()); }));

    first.removeFile();
    HeldLock second(lockPath);
    ASSERT_NE(second.inode(), 0u);
    first.release(); // The listener gets this lock, of a file no longer there.
    ASSERT_TRUE(waitUntil([&] { return listened || *waitsForLockOf(second.inode()); }));
    EXPECT_FALSE(listened) << "listened while another held the lock of the file that is there";

    second.release(); // Gone too: the listener makes its own lock file.
    listener.join();
    EXPECT_EQ(result, SystemError::noError);
    EXPECT_EQ(server.path(), namedPipePath(name));
    EXPECT_FALSE(exists(lockPath));
}

} // namespace
} // namespace vorn::utils
