#pragma once

#include <atomic>

#include "com_object.h"

namespace virtual_endpoint {

// The class object that CoCreateInstance finds for CLSID_MMDeviceEnumerator. It belongs to the
// VirtualEndpoint and the component runtime, not to the player, so its references are not
// counted as the player's; it goes when the last of them is released.
class EnumeratorFactory : public IClassFactory {
  public:
    explicit EnumeratorFactory(std::shared_ptr<State> state) : state_(std::move(state)) {}
    virtual ~EnumeratorFactory() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG count = --references_;
        if (count == 0) delete this;
        return count;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    std::shared_ptr<State> state_;
    std::atomic<ULONG> references_{1};
};

}  // namespace virtual_endpoint
