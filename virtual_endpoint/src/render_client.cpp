#include "render_client.h"

namespace virtual_endpoint {

RenderClient::RenderClient(std::shared_ptr<State> state, AudioClient* client)
    : ComObject(std::move(state), "IAudioRenderClient"), client_(client) {
    client_->Retain();
}

RenderClient::~RenderClient() { client_->Drop(); }

HRESULT RenderClient::GetBuffer(UINT32 frameCount, BYTE** data) {
    return Call("GetBuffer", "frames=" + std::to_string(frameCount) + " data=" + Pointer(data),
                [&] { return client_->LendBuffer(frameCount, data); });
}

HRESULT RenderClient::ReleaseBuffer(UINT32 frameCount, DWORD flags) {
    return Call("ReleaseBuffer", "frames=" + std::to_string(frameCount) + " flags=" + Hex(flags),
                [&] { return client_->TakeBuffer(frameCount, flags); });
}

}  // namespace virtual_endpoint
