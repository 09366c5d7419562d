#pragma once

#include "com_object.h"

namespace virtual_endpoint {

// The class object that CoCreateInstance finds for CLSID_MMDeviceEnumerator. Its lifetime is
// the VirtualEndpoint's, so its references are not counted as the player's.
class EnumeratorFactory : public IClassFactory {
  public:
    explicit EnumeratorFactory(std::shared_ptr<State> state) : state_(std::move(state)) {}
    virtual ~EnumeratorFactory() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    std::shared_ptr<State> state_;
};

}  // namespace virtual_endpoint
