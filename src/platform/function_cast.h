#pragma once

// A function pointer as another function pointer type, such as GetProcAddress's FARPROC as the
// export's own signature. The detour through the generic function pointer type keeps the
// compilers from warning about mismatched signatures; the caller vouches for the real one.
template <typename To, typename From>
To FunctionCast(From function) {
    return reinterpret_cast<To>(reinterpret_cast<void (*)()>(function));
}
