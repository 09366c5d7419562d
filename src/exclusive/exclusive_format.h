#pragma once

#include "platform/audio_endpoint.h"

// The negotiated stream format: 40 bytes of task-allocator memory, owned by whoever receives it
// and freed with CoTaskMemFree.
using StreamFormat = WAVEFORMATEXTENSIBLE;

struct ExclusiveFormatCandidate {
    WORD bitsPerSample;
    WORD validBitsPerSample;
};

// 48 kHz stereo integer PCM, offered in this order; the last is 24 valid bits in 32.
extern const ExclusiveFormatCandidate ExclusiveFormatCandidates[4];

// The full record for one candidate.
StreamFormat MakeStreamFormat(const ExclusiveFormatCandidate& candidate);

// Offers the candidates to the not yet initialised client in order and hands back the first
// that it accepts with exactly S_OK, in a newly allocated StreamFormat. Returns E_FAIL when none
// is accepted and E_OUTOFMEMORY when the allocation fails; *format is written only on success.
HRESULT FindExclusiveFormat(IAudioClient* audioClient, StreamFormat** format);
