#include "device_objects.h"

#include "audio_client.h"

namespace virtual_endpoint {
namespace {

std::string DescribeIid(REFIID iid) {
    if (iid == __uuidof(IMMDeviceEnumerator)) return "IMMDeviceEnumerator";
    if (iid == __uuidof(IAudioClient)) return "IAudioClient";
    return "other";
}

// The one render endpoint there is, default for every role.
class Device : public ComObject<IMMDevice> {
  public:
    explicit Device(std::shared_ptr<State> state) : ComObject(std::move(state), "IMMDevice") {}

    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT* parameters,
                                       void** object) override {
        const std::string arguments = "iid=" + DescribeIid(iid) + " context=" + Hex(context) +
                                      " parameters=" + Pointer(parameters);
        return Call("Activate", arguments, [&]() -> HRESULT {
            if (object == nullptr) return E_POINTER;
            *object = nullptr;
            if (iid != __uuidof(IAudioClient)) return E_NOINTERFACE;
            *object = static_cast<IAudioClient*>(new AudioClient(state_));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore** store) override {
        if (store != nullptr) *store = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
        if (id != nullptr) *id = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* deviceState) override {
        if (deviceState == nullptr) return E_POINTER;
        *deviceState = DEVICE_STATE_ACTIVE;
        return S_OK;
    }
};

class Enumerator : public ComObject<IMMDeviceEnumerator> {
  public:
    explicit Enumerator(std::shared_ptr<State> state)
        : ComObject(std::move(state), "IMMDeviceEnumerator") {}

    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow dataFlow, ERole role,
                                                      IMMDevice** endpoint) override {
        const std::string arguments =
            "flow=" + std::to_string(dataFlow) + " role=" + std::to_string(role);
        return Call("GetDefaultAudioEndpoint", arguments, [&]() -> HRESULT {
            if (endpoint == nullptr) return E_POINTER;
            *endpoint = nullptr;
            if (dataFlow != eRender) return E_NOTFOUND;  // a render-only endpoint
            *endpoint = new Device(state_);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD,
                                                 IMMDeviceCollection** devices) override {
        if (devices != nullptr) *devices = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice** device) override {
        if (device != nullptr) *device = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient*) override {
        return E_NOTIMPL;
    }
};

}  // namespace

HRESULT EnumeratorFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    return RunCall(*state_, "IClassFactory::CreateInstance",
                   "outer=" + Pointer(outer) + " iid=" + DescribeIid(iid), [&]() -> HRESULT {
                       if (object == nullptr) return E_POINTER;
                       *object = nullptr;
                       if (outer != nullptr) return CLASS_E_NOAGGREGATION;
                       if (iid != __uuidof(IUnknown) && iid != __uuidof(IMMDeviceEnumerator)) {
                           return E_NOINTERFACE;
                       }
                       *object = static_cast<IMMDeviceEnumerator*>(new Enumerator(state_));
                       return S_OK;
                   });
}

}  // namespace virtual_endpoint
