#pragma once

#include <cstddef>

// The data lines of a text file, compiled in (cmake/EmbedLines.cmake).
struct EmbeddedLines {
    const char* const* lines;
    std::size_t count;
};
