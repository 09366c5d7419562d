#pragma once

#include "platform/audio_endpoint.h"
#include "tone/tone_generator.h"

// Result of a wait for the buffer event that did not return signalled within the limit: the
// bare system error number ERROR_TIMEOUT, a positive value.
constexpr HRESULT kEventTimeoutResult = 1460;

// Plays the generator's tone on the default render endpoint in an exclusive, event-driven
// stream whose buffer lasts one device period, refilling the whole buffer on every event. A
// device that refuses that period as not aligned gets one more try: a newly activated client
// initialised with the period of the aligned buffer. Writes "Initialized with buffer of
// <seconds>s" once the stream is initialised. Returns kEventTimeoutResult when no event
// arrives within 2 s, otherwise the first failure; never S_OK. Every object it obtains is
// released before it returns.
HRESULT PlayExclusiveStream(ToneGenerator& generator);
