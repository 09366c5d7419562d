#include "render_client.h"

namespace virtual_endpoint {

RenderClient::RenderClient(std::shared_ptr<State> state, AudioClient* client)
    : ComObject(std::move(state), "IAudioRenderClient"), client_(client) {
    client_->Retain();
}

RenderClient::~RenderClient() { client_->Drop(); }

HRESULT RenderClient::GetBuffer(UINT32 frameCount, BYTE** data) {
    const std::string arguments = "frames=" + std::to_string(frameCount) + " data=" + Pointer(data);
    // The documentation leaves the pointer alone on failure, but Windows sets it to null.
    if (data != nullptr) *data = nullptr;
    return Call("GetBuffer", arguments, [&] { return client_->LendBuffer(frameCount, data); });
}

HRESULT RenderClient::ReleaseBuffer(UINT32 frameCount, DWORD flags) {
    return Call("ReleaseBuffer", "frames=" + std::to_string(frameCount) + " flags=" + Hex(flags),
                [&] { return client_->TakeBuffer(frameCount, flags); });
}

}  // namespace virtual_endpoint
