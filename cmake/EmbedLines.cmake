# Turns a text data file into a C++ source holding its lines, so that test executables carry
# their reference data under every runner (qemu, Wine) without looking for the file.
#   cmake -DINPUT=FILE -DOUTPUT=SOURCE -DNAME=IDENTIFIER -P EmbedLines.cmake
# Comment lines (starting with '#') and trailing '#' comments are left out. The result defines
# `const EmbeddedLines NAME` (embedded_lines.h): one string literal per line.
file(STRINGS ${INPUT} lines REGEX "^[^#]")
list(TRANSFORM lines REPLACE "[ \t]*#.*$" "")
list(TRANSFORM lines REPLACE "[\\\\\"]" "\\\\\\0")
list(TRANSFORM lines PREPEND "    \"")
list(TRANSFORM lines APPEND "\",")
list(JOIN lines "\n" body)
file(WRITE ${OUTPUT} "// Generated from ${INPUT}.
#include \"embedded_lines.h\"

namespace {
const char* const kLines[] = {
${body}
};
}  // namespace

extern const EmbeddedLines ${NAME};
const EmbeddedLines ${NAME} = {kLines, sizeof kLines / sizeof kLines[0]};
")
