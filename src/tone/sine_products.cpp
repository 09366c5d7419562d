#include "tone/sine_products.h"

#include <cstdlib>
#include <cstring>

#include "tone/sine_paths.h"

SineProductsRequest ApplySineProductsRequest() {
    const char* const name = std::getenv(kSineProductsVariable);
    if (name == nullptr) return SineProductsRequest::kNone;
    if (std::strcmp(name, "dekker") == 0) {
        UseSineProducts(SineProducts::kDekker);
        return SineProductsRequest::kApplied;
    }
    if (std::strcmp(name, "fused") == 0) {
        return UseSineProducts(SineProducts::kFused) ? SineProductsRequest::kApplied
                                                     : SineProductsRequest::kUnavailable;
    }
    return SineProductsRequest::kUnknownName;
}

const char* SineProductsRequestProblem(SineProductsRequest request) {
    switch (request) {
        case SineProductsRequest::kUnknownName:
            return "EXCLUSIVE_TONE_SINE_PRODUCTS must be dekker or fused: ignored";
        case SineProductsRequest::kUnavailable:
            return "this processor has no FMA: the sine uses Dekker's products";
        case SineProductsRequest::kNone:
        case SineProductsRequest::kApplied:
            break;
    }
    return nullptr;
}
