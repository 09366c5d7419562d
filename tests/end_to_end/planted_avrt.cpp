// A stand-in avrt.dll that leaves a mark when loaded: placed beside a program, it shows whether
// the loader took the scheduler library from the program's folder. The mark is an empty file
// named after the DLL's own path with ".loaded" appended.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

void LeaveMark(HINSTANCE self) {
    constexpr wchar_t kSuffix[] = L".loaded";
    wchar_t path[MAX_PATH + sizeof kSuffix / sizeof kSuffix[0]];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    for (DWORD i = 0; i < sizeof kSuffix / sizeof kSuffix[0]; ++i) path[length + i] = kSuffix[i];
    const HANDLE mark =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) LeaveMark(self);
    return TRUE;
}

// The two calls a program imports from the real library, so that its imports resolve here.
extern "C" HANDLE WINAPI AvSetMmThreadCharacteristicsW(LPCWSTR, LPDWORD taskIndex) {
    if (taskIndex != nullptr) *taskIndex = 1;
    return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(1));
}

extern "C" BOOL WINAPI AvRevertMmThreadCharacteristics(HANDLE) { return TRUE; }
