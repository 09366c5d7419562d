#pragma once

#include "audio_client.h"

namespace virtual_endpoint {

// The render service of an initialised audio client; keeps the client alive while it lives.
class RenderClient : public ComObject<IAudioRenderClient> {
  public:
    RenderClient(std::shared_ptr<State> state, AudioClient* client);

    HRESULT STDMETHODCALLTYPE GetBuffer(UINT32 frameCount, BYTE** data) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frameCount, DWORD flags) override;

  private:
    ~RenderClient() override;
    AudioClient* client_;
};

}  // namespace virtual_endpoint
