// replaceGuarded and copyGuarded: a reference-counted object that one thread replaces while others
// read it, held in a Ptr under a mutex of its own. This is how a device agent keeps the server's
// metadata receiver, which its I/O threads hand packets to while the server attaches another one:
//
//     void DeviceAgent::attachReceiver(IMetadataReceiver* receiver)
//     {
//         replaceGuarded(m_receiverMutex, &m_handler, receiver);
//     }
//     Ptr<IMetadataReceiver> DeviceAgent::handler() const { return copyGuarded(m_receiverMutex, m_handler); }
//
// The mutex is held only to swap or copy the pointer. The object that was replaced is released after
// the lock is left, since its last release may run its owner's code, which may call back in.
#pragma once

#include <mutex>
#include <type_traits>
#include <utility>

#include <vorn/sdk/ptr.h>

namespace vorn::sdk {

/**
 * Makes *held hold a reference of its own to object (null clears it). The new object is retained before
 * the old one is released, so replacing the held object by itself keeps exactly one reference.
 */
template <class T>
void replaceGuarded(std::mutex& mutex, Ptr<T>* held, std::type_identity_t<T>* object)
{
    Ptr<T> previous = shareToPtr(object);
    {
        const std::lock_guard lock(mutex);
        std::swap(*held, previous);
    }
}

/** The held object with a reference for the caller, or null. */
template <class T>
Ptr<T> copyGuarded(std::mutex& mutex, const Ptr<T>& held)
{
    const std::lock_guard lock(mutex);
    return held;
}

} // namespace vorn::sdk
