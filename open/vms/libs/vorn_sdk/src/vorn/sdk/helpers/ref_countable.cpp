#include "ref_countable.h"

#include <string>

#include <vorn/kit/debug.h>
#include <vorn/kit/utils.h>

#include "lib_context.h"

namespace vorn::sdk::detail {

namespace {

void printReport(const std::string& text)
{
    kit::debug::stream() << (kit::debug::detail::printPrefix(__FILE__) + text + "\n");
}

} // namespace

RefCountableCounter* rootCounter(const RefCountableCounter* counter)
{
    auto* root = const_cast<RefCountableCounter*>(counter);
    while (root->parent)
        root = root->parent;
    return root;
}

int32_t addRefToCounter(const RefCountableCounter* counter)
{
    // Taking a new reference needs no ordering: the caller already holds one.
    return rootCounter(counter)->count.fetch_add(1, std::memory_order_relaxed) + 1;
}

int32_t releaseFromCounter(const RefCountableCounter* counter)
{
    RefCountableCounter* root = rootCounter(counter);
    // Release-acquire, so that every write made through other references happens before the delete.
    const int32_t newCount = root->count.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (newCount == 0) {
        delete root->owner;
    } else if (newCount < 0) {
        kit::debug::detail::assertionFailed(
            &printReport, "newCount >= 0",
            "Released more references than were taken: " + kit::utils::toString(root->owner), __FILE__, __LINE__);
    }
    return newCount;
}

IRefCountableRegistry* registerRefCountable(const IRefCountable* object, int32_t refCount)
{
    IRefCountableRegistry* registry = activeRefCountableRegistry();
    if (registry)
        registry->registerObject(object, refCount);
    return registry;
}

void unregisterRefCountable(IRefCountableRegistry* registry, const IRefCountable* object, int32_t refCount)
{
    // The context deletes its registry when it dies, and a test context may be replaced: report only to
    // the registry that saw the birth, and only while it is still in place.
    if (registry && registry == activeRefCountableRegistry())
        registry->unregisterObject(object, refCount);
}

void reportDestroyedWithReferences(const IRefCountable* object, int32_t refCount)
{
    kit::debug::detail::assertionFailed(&printReport, "refCount() <= 0",
                                        "Object " + kit::utils::toString(object) + " destroyed with " +
                                            std::to_string(refCount) + " reference(s) left",
                                        __FILE__, __LINE__);
}

} // namespace vorn::sdk::detail
