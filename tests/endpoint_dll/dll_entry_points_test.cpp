#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/audio_endpoint.h"
#include "platform/function_cast.h"

namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

// The built DLL, loaded from beside this executable as the component runtime would load it.
struct EndpointDll {
    EndpointDll() {
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring name(path, length);
        name = name.substr(0, name.find_last_of(L"\\/") + 1) + L"exclusive-tone-endpoint.dll";
        module = LoadLibraryW(name.c_str());
        if (module == nullptr) return;
        getClassObject =
            FunctionCast<GetClassObjectFunction>(GetProcAddress(module, "DllGetClassObject"));
        canUnloadNow =
            FunctionCast<CanUnloadNowFunction>(GetProcAddress(module, "DllCanUnloadNow"));
    }
    HMODULE module = nullptr;
    GetClassObjectFunction getClassObject = nullptr;
    CanUnloadNowFunction canUnloadNow = nullptr;
};

void SetVariable(const char* name, const char* value) {
    _putenv((std::string(name) + "=" + value).c_str());
}

IMMDeviceEnumerator* CreateEnumerator(const EndpointDll& dll, HRESULT& result) {
    IClassFactory* factory = nullptr;
    IMMDeviceEnumerator* enumerator = nullptr;
    result = dll.getClassObject(CLSID_MMDeviceEnumerator, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
    if (FAILED(result)) return nullptr;
    result = factory->CreateInstance(nullptr, IID_IMMDeviceEnumerator,
                                     reinterpret_cast<void**>(&enumerator));
    factory->Release();
    return enumerator;
}

REFERENCE_TIME MinimumPeriod(IMMDeviceEnumerator* enumerator) {
    IMMDevice* device = nullptr;
    IAudioClient* client = nullptr;
    REFERENCE_TIME minimum = 0;
    if (SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device)) &&
        SUCCEEDED(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                   reinterpret_cast<void**>(&client)))) {
        client->GetDevicePeriod(nullptr, &minimum);
    }
    if (client != nullptr) client->Release();
    if (device != nullptr) device->Release();
    return minimum;
}

// One sequence, because the first activation on a profile makes the process's one device.
TEST(EndpointDll, PassesThroughUntilAProfileIsSetThenKeepsThatDevice) {
    const EndpointDll dll;
    ASSERT_NE(dll.getClassObject, nullptr) << "DllGetClassObject not exported by that name";
    ASSERT_NE(dll.canUnloadNow, nullptr) << "DllCanUnloadNow not exported by that name";
    SetVariable("EXCLUSIVE_TONE_ENDPOINT_WAV", "");
    SetVariable("EXCLUSIVE_TONE_ENDPOINT_LOG", "");

    void* object = &object;
    EXPECT_EQ(dll.getClassObject(IID_IAudioClient, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(dll.getClassObject(CLSID_MMDeviceEnumerator, IID_IClassFactory, nullptr), E_POINTER);

    // No profile: Wine's own enumerator, and nothing of the DLL's own in use.
    SetVariable("EXCLUSIVE_TONE_ENDPOINT_PROFILE", "");
    HRESULT result = E_FAIL;
    IMMDeviceEnumerator* wine = CreateEnumerator(dll, result);
    EXPECT_EQ(result, S_OK);
    ASSERT_NE(wine, nullptr);
    wine->Release();
    EXPECT_EQ(dll.canUnloadNow(), S_OK);

    // A setting it does not understand, or an unknown profile: no device at all.
    SetVariable("EXCLUSIVE_TONE_ENDPOINT_PROFILE", "usb-16bit");
    SetVariable("EXCLUSIVE_TONE_ENDPOINT_PACING", "slow");
    EXPECT_EQ(CreateEnumerator(dll, result), nullptr);
    EXPECT_EQ(result, CLASS_E_CLASSNOTAVAILABLE);
    SetVariable("EXCLUSIVE_TONE_ENDPOINT_PACING", "fast");
    SetVariable("EXCLUSIVE_TONE_ENDPOINT_PROFILE", "usb-16");
    EXPECT_EQ(CreateEnumerator(dll, result), nullptr);
    EXPECT_EQ(result, CLASS_E_CLASSNOTAVAILABLE);

    // The profile's device, kept for the rest of the process whatever the variables say then.
    SetVariable("EXCLUSIVE_TONE_ENDPOINT_PROFILE", "usb-16bit");
    IMMDeviceEnumerator* usb = CreateEnumerator(dll, result);
    ASSERT_NE(usb, nullptr);
    EXPECT_EQ(MinimumPeriod(usb), 10000);
    SetVariable("EXCLUSIVE_TONE_ENDPOINT_PROFILE", "typical-hd");
    IMMDeviceEnumerator* again = CreateEnumerator(dll, result);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(MinimumPeriod(again), 10000);
    again->Release();
    usb->Release();
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
}

}  // namespace
