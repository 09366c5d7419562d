#pragma once

#include <memory>
#include <string>

#include "endpoint_state.h"

namespace virtual_endpoint {

// Reference counting and QueryInterface for one interface of the endpoint. References handed
// to the player count as outstanding on the endpoint until released; references that the
// endpoint's own objects hold on each other (Retain/Drop) do not.
template <typename Interface>
class ComObject : public Interface {
  public:
    ComObject(std::shared_ptr<State> state, const char* interfaceName)
        : state_(std::move(state)), name_(interfaceName) {
        state_->AddOutstanding(1);  // the reference its creator hands out
    }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(Interface)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override {
        state_->AddOutstanding(1);
        const ULONG count = ++references_;
        state_->Record(name_ + "::AddRef", "", static_cast<HRESULT>(count));
        return count;
    }

    ULONG STDMETHODCALLTYPE Release() override {
        state_->AddOutstanding(-1);
        const ULONG count = --references_;
        state_->Record(name_ + "::Release", "", static_cast<HRESULT>(count));
        if (count == 0) delete this;
        return count;
    }

    void Retain() { ++references_; }
    void Drop() {
        if (--references_ == 0) delete this;
    }

  protected:
    virtual ~ComObject() = default;

    template <typename Body>
    HRESULT Call(const char* method, std::string arguments, Body body) {
        return RunCall(*state_, name_ + "::" + method, std::move(arguments), body);
    }

    std::shared_ptr<State> state_;

  private:
    std::string name_;
    ULONG references_ = 1;
};

}  // namespace virtual_endpoint
