// exclusive-tone-endpoint.dll: the virtual exclusive-mode endpoint as the in-process server of
// CLSID_MMDeviceEnumerator. Registered in a Wine prefix, it lets the unmodified player play on
// a device profile chosen through the environment (see endpoint_settings.h); with no profile
// set it hands out Wine's own enumerator, so the prefix behaves as without it.

#include <memory>
#include <mutex>
#include <string>

#include "endpoint_session.h"
#include "platform/function_cast.h"

namespace {

std::mutex sessionMutex;
// Leaked on purpose: it lives until the process ends, when DllMain writes its outputs.
endpoint_dll::EndpointSession* session = nullptr;

using DllGetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// Wine's own enumerator, from the system's mmdevapi.dll (the module stays loaded).
HRESULT SystemClassObject(REFCLSID clsid, REFIID iid, void** object) {
    std::wstring path(MAX_PATH, L'\0');
    const UINT length = GetSystemDirectoryW(&path[0], MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return E_UNEXPECTED;
    path.resize(length);
    path += L"\\mmdevapi.dll";
    const HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    // FARPROC's own signature is not the export's.
    const auto function =
        FunctionCast<DllGetClassObjectFunction>(GetProcAddress(module, "DllGetClassObject"));
    if (function == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    return function(clsid, iid, object);
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_MMDeviceEnumerator) return CLASS_E_CLASSNOTAVAILABLE;

    std::lock_guard<std::mutex> lock(sessionMutex);
    if (session == nullptr) {
        const endpoint_dll::SettingsReading reading = endpoint_dll::ReadEndpointSettings();
        if (!reading.error.empty()) {
            endpoint_dll::Complain(reading.error);
            return CLASS_E_CLASSNOTAVAILABLE;
        }
        if (reading.settings.profile.empty()) return SystemClassObject(clsid, iid, object);
        std::string error;
        session = endpoint_dll::EndpointSession::Open(reading.settings, error).release();
        if (session == nullptr) {
            endpoint_dll::Complain(error);
            return CLASS_E_CLASSNOTAVAILABLE;
        }
    }
    return session->GetClassObject(iid, object);
}

// A session keeps what it received until the process ends; without one nothing of this DLL is
// in use (Wine's own objects live in Wine's DLL).
STDAPI DllCanUnloadNow() {
    std::lock_guard<std::mutex> lock(sessionMutex);
    return session == nullptr ? S_OK : S_FALSE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // Under the loader lock, at process exit (reserved is then not null): every other thread
    // has been ended, maybe holding a lock, so nothing here waits on one. The session wrote its
    // files when the player released the device; it writes them now only for a player that
    // leaked references. Without a session the DLL is only unloaded: nothing to do.
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr && session != nullptr &&
        !session->FinishAtProcessExit()) {
        endpoint_dll::Complain("cannot write the WAV file or the call log");
    }
    return TRUE;
}
