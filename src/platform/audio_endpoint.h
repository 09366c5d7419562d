#pragma once

// The operating-system services the player relies on: the component runtime, the MMDevice
// and WASAPI stream services, the multimedia class scheduler and kernel events. Everything the
// player's logic calls on the platform is declared through this one header, for MinGW-w64 and
// for the Windows SDK alike; the scheduler's calls are reached through multimedia_scheduler.h.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
#include <objbase.h>
#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>
#include <audioclient.h>
#include <avrt.h>

// Defined once, in audio_endpoint_ids.cpp: no import library of either toolchain has them.
// KSDATAFORMAT_SUBTYPE_PCM comes from the ksuser library.
extern "C" const CLSID CLSID_MMDeviceEnumerator;
extern "C" const IID IID_IMMDeviceEnumerator;
extern "C" const IID IID_IAudioClient;
extern "C" const IID IID_IAudioRenderClient;

// AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED is missing from older SDK headers.
#ifndef AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED
#define AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED AUDCLNT_ERR(0x019)
#endif
