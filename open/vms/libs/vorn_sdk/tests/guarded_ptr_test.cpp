#include <mutex>

#include <gtest/gtest.h>

#include <vorn/sdk/helpers/guarded_ptr.h>
#include <vorn/sdk/helpers/string.h>

namespace vorn::sdk::test {
namespace {

// Tells on destruction whether the mutex that guards it was free, as a receiver whose last release
// runs server code that calls the agent back must find it.
class Probe : public String
{
public:
    Probe(std::mutex* mutex, bool* destroyedWithMutexFree)
        : m_mutex(mutex)
        , m_destroyedWithMutexFree(destroyedWithMutexFree)
    {}

    ~Probe() override
    {
        std::unique_lock lock(*m_mutex, std::try_to_lock);
        *m_destroyedWithMutexFree = lock.owns_lock();
    }

private:
    std::mutex* const m_mutex;
    bool* const m_destroyedWithMutexFree;
};

TEST(GuardedPtr, ReplacingKeepsOneReferenceAndReleasesTheOldOneOutsideTheLock)
{
    std::mutex mutex;
    Ptr<String> held;
    bool destroyedWithMutexFree = false;

    auto first = makePtr<Probe>(&mutex, &destroyedWithMutexFree);
    replaceGuarded<String>(mutex, &held, first.get());
    EXPECT_EQ(first->refCount(), 2);
    replaceGuarded<String>(mutex, &held, first.get()); // the held one again
    EXPECT_EQ(first->refCount(), 2);
    EXPECT_EQ(copyGuarded(mutex, held).get(), first.get());
    EXPECT_EQ(first->refCount(), 2);

    first.reset();
    const auto second = makePtr<String>("second");
    replaceGuarded<String>(mutex, &held, second.get());
    EXPECT_TRUE(destroyedWithMutexFree);
    EXPECT_EQ(second->refCount(), 2);

    replaceGuarded(mutex, &held, nullptr);
    EXPECT_FALSE(copyGuarded(mutex, held));
    EXPECT_EQ(second->refCount(), 1);
}

} // namespace
} // namespace vorn::sdk::test
