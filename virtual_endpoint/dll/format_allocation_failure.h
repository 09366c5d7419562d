#pragma once

// Makes the player's allocation of its stream format fail, as on a system out of memory: a
// task-allocator spy that refuses the first block of sizeof(WAVEFORMATEXTENSIBLE) bytes asked
// for on the player's thread right after the endpoint accepted a format. Every other
// allocation of the process goes through untouched.

#include <atomic>

#include "virtual_endpoint/pass_through_malloc_spy.h"
#include "virtual_endpoint/virtual_endpoint.h"

namespace endpoint_dll {

class FormatAllocationFailure : public virtual_endpoint::PassThroughMallocSpy {
  public:
    // endpoint must outlive the spy's registration; playerThread is the thread that plays.
    FormatAllocationFailure(const virtual_endpoint::VirtualEndpoint& endpoint, DWORD playerThread);
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override;

  private:
    bool FormatJustAccepted() const;

    const virtual_endpoint::VirtualEndpoint& endpoint_;
    const DWORD playerThread_;
    std::atomic<bool> failed_{false};
    std::atomic<ULONG> references_{1};
};

}  // namespace endpoint_dll
