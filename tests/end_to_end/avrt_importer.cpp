// Imports avrt.dll by name, as the player once did. Beside a planted avrt.dll it shows that the
// loader takes the file from the program's folder and that the plant's mark works.

#include "platform/audio_endpoint.h"

int main() {
    static_cast<void>(AvRevertMmThreadCharacteristics(nullptr));
    return 0;
}
