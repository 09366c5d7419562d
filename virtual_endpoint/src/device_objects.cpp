#include "device_objects.h"

#include <cwchar>

#include "audio_client.h"

namespace virtual_endpoint {
namespace {

// The one device's endpoint id, in the form Windows gives render endpoints.
constexpr wchar_t kDeviceId[] = L"{0.0.0.00000000}.{6f1d5a0e-3c2b-4e59-9a7d-8b4c2e1f0a93}";

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
        return Call("GetId", "id=" + Pointer(id), [&]() -> HRESULT {
            if (id == nullptr) return E_POINTER;
            // The caller frees the string with CoTaskMemFree.
            *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kDeviceId));
            if (*id == nullptr) return E_OUTOFMEMORY;
            std::wmemcpy(*id, kDeviceId, sizeof kDeviceId / sizeof kDeviceId[0]);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* deviceState) override {
        if (deviceState == nullptr) return E_POINTER;
        *deviceState = DEVICE_STATE_ACTIVE;
        return S_OK;
    }
};

// The render endpoints of one EnumAudioEndpoints call: the one device, or none.
class DeviceCollection : public ComObject<IMMDeviceCollection> {
  public:
    DeviceCollection(std::shared_ptr<State> state, UINT count)
        : ComObject(std::move(state), "IMMDeviceCollection"), count_(count) {}

    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
        return Call("GetCount", "count=" + Pointer(count), [&]() -> HRESULT {
            if (count == nullptr) return E_POINTER;
            *count = count_;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override {
        return Call("Item", "index=" + std::to_string(index), [&]() -> HRESULT {
            if (device == nullptr) return E_POINTER;
            *device = nullptr;
            if (index >= count_) return E_INVALIDARG;
            *device = new Device(state_);
            return S_OK;
        });
    }

  private:
    const UINT count_;
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
            // A default endpoint is one of rendering or of capture, for one of the roles.
            if ((dataFlow != eRender && dataFlow != eCapture) || role < eConsole ||
                role >= ERole_enum_count) {
                return E_INVALIDARG;
            }
            if (dataFlow != eRender) return E_NOTFOUND;  // a render-only endpoint
            *endpoint = new Device(state_);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow dataFlow, DWORD stateMask,
                                                 IMMDeviceCollection** devices) override {
        const std::string arguments =
            "flow=" + std::to_string(dataFlow) + " states=" + Hex(stateMask);
        return Call("EnumAudioEndpoints", arguments, [&]() -> HRESULT {
            if (devices == nullptr) return E_POINTER;
            *devices = nullptr;
            if (dataFlow < eRender || dataFlow >= EDataFlow_enum_count ||
                (stateMask & ~DWORD{DEVICE_STATEMASK_ALL}) != 0) {
                return E_INVALIDARG;
            }
            // The one render device, always active.
            const bool listed = dataFlow != eCapture && (stateMask & DEVICE_STATE_ACTIVE) != 0;
            *devices = new DeviceCollection(state_, listed ? 1 : 0);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override {
        return Call("GetDevice", "id=" + Pointer(id), [&]() -> HRESULT {
            if (device == nullptr) return E_POINTER;
            *device = nullptr;
            if (id == nullptr) return E_POINTER;
            if (std::wcscmp(id, kDeviceId) != 0) return E_NOTFOUND;
            *device = new Device(state_);
            return S_OK;
        });
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
