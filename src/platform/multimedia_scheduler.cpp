#include "platform/multimedia_scheduler.h"

#include "platform/function_cast.h"

namespace {

constexpr wchar_t kLibraryName[] = L"\\avrt.dll";
constexpr UINT kLibraryNameLength = sizeof kLibraryName / sizeof kLibraryName[0];  // with null

// A function's address as the type it is declared with.
template <typename Function>
Function Resolve(HMODULE library, const char* name) {
    return FunctionCast<Function>(GetProcAddress(library, name));
}

}  // namespace

bool LoadMultimediaScheduler(MultimediaScheduler& scheduler) {
    wchar_t path[MAX_PATH + kLibraryNameLength];
    // GetSystemDirectoryW, unlike SetDefaultDllDirectories, is there on Vista without updates.
    const UINT folderLength = GetSystemDirectoryW(path, MAX_PATH);
    if (folderLength == 0 || folderLength >= MAX_PATH) return false;
    for (UINT i = 0; i < kLibraryNameLength; ++i) path[folderLength + i] = kLibraryName[i];

    // A full path is loaded as given; LOAD_WITH_ALTERED_SEARCH_PATH makes the loader look for
    // the library's own dependencies in its folder rather than in the program's.
    scheduler.library = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (scheduler.library == nullptr) return false;
    scheduler.AvSetMmThreadCharacteristicsW =
        Resolve<decltype(scheduler.AvSetMmThreadCharacteristicsW)>(scheduler.library,
                                                                   "AvSetMmThreadCharacteristicsW");
    if (scheduler.AvSetMmThreadCharacteristicsW == nullptr) return false;
    scheduler.AvRevertMmThreadCharacteristics =
        Resolve<decltype(scheduler.AvRevertMmThreadCharacteristics)>(
            scheduler.library, "AvRevertMmThreadCharacteristics");
    return scheduler.AvRevertMmThreadCharacteristics != nullptr;
}

void UnloadMultimediaScheduler(MultimediaScheduler& scheduler) {
    if (scheduler.library != nullptr) FreeLibrary(scheduler.library);
    scheduler = MultimediaScheduler{};
}
