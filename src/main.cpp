// exclusive-tone: plays a continuous 500 Hz full-scale sine on the default audio device in an
// exclusive, event-driven stream, then reports how the stream ended.

#include <iostream>

#include "exclusive/exclusive_stream.h"
#include "result_report.h"
#include "tone/sine_products.h"
#include "tone/tone_generator.h"

int main() {
    // The same bytes with either arithmetic; a request that cannot be met is said on standard
    // error, leaving standard output to the report.
    if (const char* problem = SineProductsRequestProblem(ApplySineProductsRequest())) {
        std::cerr << problem << '\n';
    }
    // Initialised once for the thread's whole life; a failure shows up in the calls that follow.
    static_cast<void>(CoInitialize(nullptr));
    ToneGenerator generator{};
    const HRESULT result = PlayExclusiveStream(generator);
    WriteResultReport(std::cout, result);
    return 0;
}
