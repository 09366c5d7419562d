#include <gtest/gtest.h>

#include "platform/audio_endpoint.h"

namespace {

// The player expects a component runtime initialised for the thread, as main provides.
class ComEnvironment : public testing::Environment {
  public:
    void SetUp() override { static_cast<void>(CoInitialize(nullptr)); }
};

const testing::Environment* const kComEnvironment =
    testing::AddGlobalTestEnvironment(new ComEnvironment);

}  // namespace
