#include "format_allocation_failure.h"

namespace endpoint_dll {

FormatAllocationFailure::FormatAllocationFailure(const virtual_endpoint::VirtualEndpoint& endpoint,
                                                 DWORD playerThread)
    : endpoint_(endpoint), playerThread_(playerThread) {}

ULONG FormatAllocationFailure::AddRef() { return ++references_; }

ULONG FormatAllocationFailure::Release() {
    const ULONG count = --references_;
    if (count == 0) delete this;
    return count;
}

SIZE_T FormatAllocationFailure::PreAlloc(SIZE_T size) {
    if (size != sizeof(WAVEFORMATEXTENSIBLE) || GetCurrentThreadId() != playerThread_ || failed_ ||
        !FormatJustAccepted()) {
        return size;
    }
    failed_ = true;
    return 0;  // a spy's PreAlloc returning 0 makes CoTaskMemAlloc return null
}

bool FormatAllocationFailure::FormatJustAccepted() const {
    const std::vector<virtual_endpoint::CallRecord> calls = endpoint_.Calls();
    return !calls.empty() && calls.back().method == "IAudioClient::IsFormatSupported" &&
           calls.back().result == S_OK;
}

}  // namespace endpoint_dll
