#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "endpoint_state.h"

namespace virtual_endpoint {

// Who holds an object's references: the player, whose references count as outstanding on the
// endpoint until released and whose AddRef and Release calls are logged, or the endpoint itself
// and the component runtime, which are neither.
enum class Holder { kPlayer, kEndpoint };

// Reference counting and QueryInterface for one interface of the endpoint. The count is atomic:
// COM lets any thread call AddRef and Release. References that the endpoint's own objects hold
// on each other (Retain/Drop) are never the player's.
template <typename Interface>
class ComObject : public Interface {
  public:
    ComObject(std::shared_ptr<State> state, const char* interfaceName,
              Holder holder = Holder::kPlayer)
        : state_(std::move(state)), name_(interfaceName), player_(holder == Holder::kPlayer) {
        if (player_) state_->AddOutstanding(name_, 1);  // the reference its creator hands out
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
        const ULONG count = ++references_;
        if (player_) {
            state_->AddOutstanding(name_, 1);
            state_->Record(name_ + "::AddRef", "", static_cast<HRESULT>(count));
        }
        return count;
    }

    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG count = --references_;
        const std::shared_ptr<State> state = state_;  // outlives this object
        long playerReferencesLeft = -1;
        if (player_) {
            playerReferencesLeft = state->AddOutstanding(name_, -1);
            state->Record(name_ + "::Release", "", static_cast<HRESULT>(count));
        }
        if (count == 0) delete this;
        if (playerReferencesLeft == 0) state->NoteAllReleased();
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
    const bool player_;
    std::atomic<ULONG> references_{1};
};

}  // namespace virtual_endpoint
