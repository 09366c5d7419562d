#pragma once

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>

#include "exclusive/exclusive_stream.h"
#include "hresult_check.h"
#include "platform_call_recorder.h"
#include "tone/tone_generator.h"
#include "virtual_endpoint/pass_through_malloc_spy.h"
#include "virtual_endpoint/virtual_endpoint.h"

// The value of "key=value" in a call's arguments.
inline std::string Field(const std::string& arguments, const std::string& key) {
    const std::size_t start = arguments.find(key + "=");
    if (start == std::string::npos) return "";
    const std::size_t value = start + key.size() + 1;
    return arguments.substr(value, arguments.find(' ', value) - value);
}

// The system folder, where the player must take the scheduler library from.
inline std::string SystemFolder() {
    char folder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder, length < MAX_PATH ? length : 0);
}

// What one call of the player wrote and returned.
struct PlayerRun {
    HRESULT result;
    std::string output;
};

// The endpoint that the running test installed, if any.
inline virtual_endpoint::VirtualEndpoint*& EndpointInUse() {
    static virtual_endpoint::VirtualEndpoint* endpoint = nullptr;
    return endpoint;
}

// Runs PlayExclusiveStream against whatever endpoint is installed, capturing standard output;
// the player's kernel and scheduler calls join the endpoint's fault table and call log.
inline PlayerRun RunPlayer(ToneGenerator& generator) {
    std::ostringstream captured;
    std::streambuf* const original = std::cout.rdbuf(captured.rdbuf());
    const std::ios_base::fmtflags flags = std::cout.flags();
    HRESULT result = S_OK;
    {
        const RecordedPlatformCalls recorded(EndpointInUse());
        result = PlayExclusiveStream(generator);
    }
    std::cout.flags(flags);
    std::cout.rdbuf(original);
    return {result, captured.str()};
}

inline PlayerRun RunPlayer() {
    ToneGenerator generator{};
    return RunPlayer(generator);
}

// Installs an endpoint for the life of a test, and fails the test when the endpoint cannot be
// installed or when a fault the test configured never fired: a fault that does not fire tests
// nothing.
class InstalledEndpoint {
  public:
    explicit InstalledEndpoint(virtual_endpoint::EndpointConfig config = {})
        : endpoint_(std::move(config)) {
        const HRESULT result = endpoint_.Install();
        installed_ = SUCCEEDED(result);
        if (!installed_) ADD_FAILURE() << "the endpoint was not installed: " << HresultText(result);
        EndpointInUse() = &endpoint_;
    }
    ~InstalledEndpoint() {
        EndpointInUse() = nullptr;
        for (const virtual_endpoint::Fault& fault : endpoint_.UnfiredFaults()) {
            ADD_FAILURE() << "fault never fired: call " << fault.occurrence << " of "
                          << fault.method << " to return " << HresultText(fault.result);
        }
    }
    InstalledEndpoint(const InstalledEndpoint&) = delete;
    InstalledEndpoint& operator=(const InstalledEndpoint&) = delete;
    bool installed() const { return installed_; }
    virtual_endpoint::VirtualEndpoint* operator->() { return &endpoint_; }
    virtual_endpoint::VirtualEndpoint& operator*() { return endpoint_; }

  private:
    virtual_endpoint::VirtualEndpoint endpoint_;
    bool installed_ = false;
};

// Counts the task allocator's 40-byte blocks and can make the next one fail.
class FormatAllocationSpy : public virtual_endpoint::PassThroughMallocSpy {
  public:
    bool failNext = false;
    int allocated = 0;
    int freed = 0;

    // Lives on the test's stack: counting changes nothing.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override {
        pendingFormat_ = size == 40;
        return size;
    }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override {
        if (!pendingFormat_ || actual == nullptr) return actual;
        if (failNext) {
            failNext = false;
            return nullptr;  // the block is lost; acceptable in a test
        }
        ++allocated;
        blocks_.push_back(actual);
        return actual;
    }
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL) override {
        for (auto it = blocks_.begin(); it != blocks_.end(); ++it) {
            if (*it == request) {
                blocks_.erase(it);
                ++freed;
                break;
            }
        }
        return request;
    }

  private:
    bool pendingFormat_ = false;
    std::vector<void*> blocks_;
};

// Registers a spy on the task allocator for the life of a test.
class SpiedAllocator {
  public:
    SpiedAllocator() { registered_ = SUCCEEDED(CoRegisterMallocSpy(&spy_)); }
    ~SpiedAllocator() {
        if (registered_) CoRevokeMallocSpy();
    }
    bool registered() const { return registered_; }
    FormatAllocationSpy& spy() { return spy_; }

  private:
    FormatAllocationSpy spy_;
    bool registered_ = false;
};
