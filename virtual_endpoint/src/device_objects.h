#pragma once

#include "com_object.h"

namespace virtual_endpoint {

// The class object that CoCreateInstance finds for CLSID_MMDeviceEnumerator. It belongs to the
// VirtualEndpoint and the component runtime, not to the player, so its references are not
// counted as the player's; it goes when the last of them is released.
class EnumeratorFactory : public ComObject<IClassFactory> {
  public:
    explicit EnumeratorFactory(std::shared_ptr<State> state)
        : ComObject(std::move(state), "IClassFactory", Holder::kEndpoint) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace virtual_endpoint
