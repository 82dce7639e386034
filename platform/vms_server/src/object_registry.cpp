#include <vorn/vms_server/object_registry.h>

#include <utility>

namespace vorn::vms_server {

ObjectRegistry::ObjectRegistry(std::shared_ptr<RegistryLedger> ledger)
    : m_ledger(std::move(ledger))
{}

ObjectRegistry::~ObjectRegistry()
{
    m_ledger->recordRegistryDeleted();
}

void ObjectRegistry::registerObject(const sdk::IRefCountable* object, int32_t refCount)
{
    m_ledger->recordRegistration(object, refCount);
}

void ObjectRegistry::unregisterObject(const sdk::IRefCountable* object, int32_t refCount)
{
    m_ledger->recordUnregistration(object, refCount);
}

} // namespace vorn::vms_server
