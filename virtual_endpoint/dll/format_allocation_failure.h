#pragma once

// Makes the player's allocation of its stream format fail, as on a system out of memory: a
// task-allocator spy that refuses the first block of sizeof(WAVEFORMATEXTENSIBLE) bytes asked
// for on the player's thread right after the endpoint accepted a format. Every other
// allocation of the process goes through untouched.

#include <atomic>

#include "virtual_endpoint/virtual_endpoint.h"

namespace endpoint_dll {

class FormatAllocationFailure : public IMallocSpy {
  public:
    // endpoint must outlive the spy's registration; playerThread is the thread that plays.
    FormatAllocationFailure(const virtual_endpoint::VirtualEndpoint& endpoint, DWORD playerThread);
    virtual ~FormatAllocationFailure() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override;
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override { return actual; }
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL) override { return request; }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest,
                                        BOOL) override {
        *newRequest = request;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override { return actual; }
    void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

  private:
    bool FormatJustAccepted() const;

    const virtual_endpoint::VirtualEndpoint& endpoint_;
    const DWORD playerThread_;
    std::atomic<bool> failed_{false};
    std::atomic<ULONG> references_{1};
};

}  // namespace endpoint_dll
