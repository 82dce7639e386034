// ObjectRegistry: the IRefCountableRegistry that the server hands to a plugin library's context.
//
// The context owns it and deletes it when the library is unloaded, so it only forwards to a shared
// RegistryLedger, which keeps the records for the host after both are gone:
//
//     auto ledger = std::make_shared<RegistryLedger>();
//     libContext->setRefCountableRegistry(new ObjectRegistry(ledger));
//
// Called on any thread from the constructors and destructors of the plugin's objects; it must not
// call the object back (the object is half built or half destroyed), so it only records its address.
#pragma once

#include <memory>

#include <vorn/sdk/i_lib_context.h>
#include <vorn/vms_server/registry_ledger.h>

namespace vorn::vms_server {

class ObjectRegistry final : public sdk::IRefCountableRegistry
{
public:
    explicit ObjectRegistry(std::shared_ptr<RegistryLedger> ledger);
    ~ObjectRegistry() override;

    void registerObject(const sdk::IRefCountable* object, int32_t refCount) override;
    void unregisterObject(const sdk::IRefCountable* object, int32_t refCount) override;

private:
    const std::shared_ptr<RegistryLedger> m_ledger;
};

} // namespace vorn::vms_server
