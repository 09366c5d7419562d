// The interface and class identifiers of the audio endpoint services. Neither MinGW-w64 nor the
// Windows SDK ship them in an import library, so this is the one place that defines them.

#if defined(_MSC_VER)
#include "platform/audio_endpoint.h"

extern "C" const CLSID CLSID_MMDeviceEnumerator = __uuidof(MMDeviceEnumerator);
extern "C" const IID IID_IMMDeviceEnumerator = __uuidof(IMMDeviceEnumerator);
extern "C" const IID IID_IAudioClient = __uuidof(IAudioClient);
extern "C" const IID IID_IAudioRenderClient = __uuidof(IAudioRenderClient);
#else
// MinGW-w64 declares them with DEFINE_GUID, which defines them after <initguid.h>.
#include <initguid.h>
#include "platform/audio_endpoint.h"
#endif
