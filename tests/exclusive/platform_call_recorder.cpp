#include "platform_call_recorder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "platform/function_cast.h"

namespace {

using virtual_endpoint::VirtualEndpoint;

// What the recorders know during one recording.
struct Recording {
    VirtualEndpoint* endpoint = nullptr;
    DWORD thread = 0;
    HANDLE event = nullptr;
    HMODULE library = nullptr;
    HANDLE task = nullptr;
};
Recording recording;

// The replaced entries' original targets.
decltype(&CreateEventW) originalCreateEventW;
decltype(&CloseHandle) originalCloseHandle;
decltype(&WaitForSingleObject) originalWaitForSingleObject;
decltype(&LoadLibraryExW) originalLoadLibraryExW;
decltype(&GetProcAddress) originalGetProcAddress;
decltype(&FreeLibrary) originalFreeLibrary;
decltype(&AvSetMmThreadCharacteristicsW) originalAvSet;
decltype(&AvRevertMmThreadCharacteristics) originalAvRevert;

VirtualEndpoint* Watching() {
    return GetCurrentThreadId() == recording.thread ? recording.endpoint : nullptr;
}

std::string Text(const void* pointer) { return pointer == nullptr ? "null" : "set"; }

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
    return text;
}

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; text != nullptr && *text != L'\0'; ++text) {
        narrow += *text < 0x80 ? static_cast<char>(*text) : '?';
    }
    return narrow;
}

// Runs the original call unless a fault stands in for it, and logs the call. A fault fails the
// call with a null result and, as the last error, the fault's system error code.
template <typename Result, typename Call>
Result Run(VirtualEndpoint& endpoint, const char* method, const std::string& arguments, Call call) {
    const std::optional<HRESULT> fault = endpoint.TakeFault(method);
    const Result result = fault ? Result{} : call();
    endpoint.Record(method, arguments, fault.value_or(S_OK));
    if (fault) SetLastError(static_cast<DWORD>(HRESULT_CODE(*fault)));
    return result;
}

HANDLE WINAPI RecordCreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                                 BOOL initialState, LPCWSTR name) {
    VirtualEndpoint* const endpoint = Watching();
    if (endpoint == nullptr) {
        return originalCreateEventW(attributes, manualReset, initialState, name);
    }
    const std::string arguments =
        "attributes=" + Text(attributes) + " manualReset=" + std::to_string(manualReset) +
        " initialState=" + std::to_string(initialState) + " name=" + Text(name);
    recording.event = Run<HANDLE>(*endpoint, "CreateEventW", arguments, [&] {
        return originalCreateEventW(attributes, manualReset, initialState, name);
    });
    return recording.event;
}

BOOL WINAPI RecordCloseHandle(HANDLE handle) {
    VirtualEndpoint* const endpoint = Watching();
    if (endpoint == nullptr || handle != recording.event) return originalCloseHandle(handle);
    return Run<BOOL>(*endpoint, "CloseHandle", "handle=event",
                     [&] { return originalCloseHandle(handle); });
}

// Logged with what it returned; never faulted, since no result of a wait stands for failure
// alone.
DWORD WINAPI RecordWaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    VirtualEndpoint* const endpoint = Watching();
    if (endpoint == nullptr || handle != recording.event) {
        return originalWaitForSingleObject(handle, milliseconds);
    }
    const DWORD result = originalWaitForSingleObject(handle, milliseconds);
    endpoint->Record("WaitForSingleObject",
                     "handle=event milliseconds=" + std::to_string(milliseconds),
                     static_cast<HRESULT>(result));
    return result;
}

HMODULE WINAPI RecordLoadLibraryExW(LPCWSTR path, HANDLE file, DWORD flags) {
    VirtualEndpoint* const endpoint = Watching();
    if (endpoint == nullptr) return originalLoadLibraryExW(path, file, flags);
    const std::string arguments =
        "path=" + Narrow(path) + " file=" + Text(file) + " flags=" + Hex(flags);
    recording.library = Run<HMODULE>(*endpoint, "LoadLibraryExW", arguments,
                                     [&] { return originalLoadLibraryExW(path, file, flags); });
    return recording.library;
}

HANDLE WINAPI RecordAvSet(LPCWSTR task, LPDWORD taskIndex) {
    const std::string arguments = "task=\"" + Narrow(task) + "\" index=" +
                                  (taskIndex == nullptr ? "null" : std::to_string(*taskIndex));
    recording.task = Run<HANDLE>(*recording.endpoint, "AvSetMmThreadCharacteristicsW", arguments,
                                 [&] { return originalAvSet(task, taskIndex); });
    return recording.task;
}

BOOL WINAPI RecordAvRevert(HANDLE task) {
    const std::string arguments = task == recording.task ? "task=registered" : "task=other";
    return Run<BOOL>(*recording.endpoint, "AvRevertMmThreadCharacteristics", arguments,
                     [&] { return originalAvRevert(task); });
}

FARPROC WINAPI RecordGetProcAddress(HMODULE library, LPCSTR name) {
    VirtualEndpoint* const endpoint = Watching();
    // Below 0x10000 the name is an ordinal.
    if (endpoint == nullptr || library != recording.library ||
        reinterpret_cast<ULONG_PTR>(name) < 0x10000) {
        return originalGetProcAddress(library, name);
    }
    FARPROC address =
        Run<FARPROC>(*endpoint, "GetProcAddress", "module=loaded name=" + std::string(name),
                     [&] { return originalGetProcAddress(library, name); });
    if (address == nullptr) return nullptr;
    if (std::strcmp(name, "AvSetMmThreadCharacteristicsW") == 0) {
        originalAvSet = FunctionCast<decltype(originalAvSet)>(address);
        return FunctionCast<FARPROC>(&RecordAvSet);
    }
    if (std::strcmp(name, "AvRevertMmThreadCharacteristics") == 0) {
        originalAvRevert = FunctionCast<decltype(originalAvRevert)>(address);
        return FunctionCast<FARPROC>(&RecordAvRevert);
    }
    return address;
}

BOOL WINAPI RecordFreeLibrary(HMODULE library) {
    VirtualEndpoint* const endpoint = Watching();
    if (endpoint == nullptr || library != recording.library) return originalFreeLibrary(library);
    return Run<BOOL>(*endpoint, "FreeLibrary", "module=loaded",
                     [&] { return originalFreeLibrary(library); });
}

// The import-table slot through which this executable calls dll!function, or null.
void** ImportSlot(const char* dll, const char* function) {
    auto* const base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* const headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* module =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name != 0; ++module) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + module->Name), dll) != 0) continue;
        const auto* name =
            reinterpret_cast<const IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                return reinterpret_cast<void**>(&slot->u1.Function);
            }
        }
    }
    return nullptr;
}

// Points the slot of kernel32!function at the recorder, keeping the original target.
template <typename Function>
void Replace(const char* function, Function recorder, Function& original) {
    void** const slot = ImportSlot("kernel32.dll", function);
    if (slot == nullptr) {
        ADD_FAILURE() << "this executable does not import " << function;
        return;
    }
    DWORD protection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    original = reinterpret_cast<Function>(*slot);
    *slot = reinterpret_cast<void*>(recorder);
    VirtualProtect(slot, sizeof *slot, protection, &protection);
}

void ReplaceImportsOnce() {
    static const bool replaced = [] {
        Replace("CreateEventW", &RecordCreateEventW, originalCreateEventW);
        Replace("CloseHandle", &RecordCloseHandle, originalCloseHandle);
        Replace("WaitForSingleObject", &RecordWaitForSingleObject, originalWaitForSingleObject);
        Replace("LoadLibraryExW", &RecordLoadLibraryExW, originalLoadLibraryExW);
        Replace("GetProcAddress", &RecordGetProcAddress, originalGetProcAddress);
        Replace("FreeLibrary", &RecordFreeLibrary, originalFreeLibrary);
        return true;
    }();
    static_cast<void>(replaced);
}

}  // namespace

RecordedPlatformCalls::RecordedPlatformCalls(VirtualEndpoint* endpoint) {
    ReplaceImportsOnce();
    recording = Recording{endpoint, GetCurrentThreadId()};
}

RecordedPlatformCalls::~RecordedPlatformCalls() { recording = Recording{}; }
