#include "virtual_endpoint/virtual_endpoint.h"

#include <cmath>

#include "device_objects.h"
#include "endpoint_state.h"

namespace virtual_endpoint {

EndpointConfig RealTimeEndpoint(double seconds) {
    constexpr REFERENCE_TIME kPeriod = 30000;  // 3 ms in 100-ns units
    EndpointConfig config;
    config.acceptedFormats = {{24, 24}, {32, 32}, {32, 24}};
    config.minimumPeriod = kPeriod;
    config.pacing = Pacing::kRealTime;
    config.eventLimit = static_cast<std::uint64_t>(std::ceil(seconds * 1e7 / kPeriod));
    return config;
}

VirtualEndpoint::VirtualEndpoint(EndpointConfig config)
    : state_(std::make_shared<State>(std::move(config))) {}

VirtualEndpoint::~VirtualEndpoint() { Uninstall(); }

HRESULT VirtualEndpoint::Install() {
    if (installed_) return S_FALSE;
    if (!state_->FaultsCanFire()) return E_INVALIDARG;
    auto* factory = new EnumeratorFactory(state_);
    const HRESULT result = CoRegisterClassObject(
        CLSID_MMDeviceEnumerator, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
    factory->Release();  // the registration holds it from here on, or nobody does
    installed_ = SUCCEEDED(result);
    return result;
}

void VirtualEndpoint::Uninstall() {
    if (!installed_) return;
    CoRevokeClassObject(cookie_);
    installed_ = false;
}

HRESULT VirtualEndpoint::GetClassObject(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!state_->FaultsCanFire()) return E_INVALIDARG;
    auto* factory = new EnumeratorFactory(state_);
    const HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();  // the caller's reference keeps it, if it got one
    return result;
}

std::vector<CallRecord> VirtualEndpoint::Calls() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->calls;
}

std::vector<std::string> VirtualEndpoint::CallNames() const {
    std::vector<std::string> names;
    for (const CallRecord& call : Calls()) names.push_back(call.method);
    return names;
}

std::vector<Fault> VirtualEndpoint::UnfiredFaults() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::vector<Fault> unfired;
    for (std::size_t i = 0; i < state_->config.faults.size(); ++i) {
        if (!state_->faultFired[i]) unfired.push_back(state_->config.faults[i]);
    }
    return unfired;
}

long VirtualEndpoint::OutstandingReferences() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->outstanding;
}

std::vector<std::uint8_t> VirtualEndpoint::CapturedBytes() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->captured;
}

std::optional<WAVEFORMATEXTENSIBLE> VirtualEndpoint::StreamFormat() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->format;
}

std::uint64_t VirtualEndpoint::EventsSet() const { return state_->EventsSet(); }

std::vector<PeriodTiming> VirtualEndpoint::Timings() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->timings;
}

HANDLE VirtualEndpoint::LastEventHandle() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->lastEventHandle;
}

namespace {

EndpointSnapshot Copy(const State& state) {
    return {state.calls, state.outstanding, state.outstandingByInterface, state.format,
            state.captured};
}

}  // namespace

EndpointSnapshot VirtualEndpoint::Snapshot() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return Copy(*state_);
}

EndpointSnapshot VirtualEndpoint::SnapshotAtProcessExit() const {
    return Copy(*state_);  // no lock: see the declaration
}

std::optional<HRESULT> VirtualEndpoint::TakeFault(const std::string& method) {
    return state_->TakeFault(method);
}

void VirtualEndpoint::Record(const std::string& method, std::string arguments, HRESULT result) {
    state_->Record(method, std::move(arguments), result);
}

}  // namespace virtual_endpoint
