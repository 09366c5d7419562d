// The stack protector's guard and failure handler, which GCC's -fstack-protector code calls.
// Defined here instead of taken from GCC's libssp, whose guard comes from advapi32's
// CryptGenRandom and would add advapi32.dll to the program's imports. The guard is seeded the
// way the Windows C runtime seeds its security cookie, from kernel32 alone.

#include <windows.h>

#include <cstdint>

extern "C" {

// Read by every protected function's prologue and epilogue. The value before seeding is only
// ever seen by functions that return before the seeding constructor runs.
std::uintptr_t __stack_chk_guard = 0xbb40e64e;

// Called instead of a return on a smashed stack: ends the process at once, running nothing of
// its own on that stack (no handler, no atexit, no stream flush).
[[noreturn]] void __stack_chk_fail() {
    // Windows 8 on: a fail-fast report to Windows Error Reporting, which no handler can catch.
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) {
        __asm__ volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE));
    }
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_STACK_BUFFER_OVERRUN));
    __builtin_unreachable();
}

}  // extern "C"

namespace {

// Runs from main's call of __main, before main loads the guard; no protected function is
// active then, and this one carries no canary, since it changes the guard it would check.
// The low byte is zero, so a string copy running past a buffer stops at it.
__attribute__((constructor, no_stack_protector)) void SeedStackGuard() {
    FILETIME time{};
    GetSystemTimeAsFileTime(&time);
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    std::uint64_t seed = (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    seed ^= (std::uint64_t{GetCurrentProcessId()} << 32) | GetCurrentThreadId();
    seed ^= static_cast<std::uint64_t>(counter.QuadPart) * 0x9e3779b97f4a7c15u;
    seed ^= reinterpret_cast<std::uintptr_t>(&time);  // the stack's place, random under ASLR
    seed ^= seed >> 29;
    auto guard = static_cast<std::uintptr_t>(seed ^ (seed >> 32)) & ~std::uintptr_t{0xff};
    if (guard != 0) __stack_chk_guard = guard;
}

}  // namespace
