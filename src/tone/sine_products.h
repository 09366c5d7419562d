#pragma once

// The arithmetic of the sine's exact products as a user or a test names it in the environment:
// EXCLUSIVE_TONE_SINE_PRODUCTS=dekker (plain double operations, on every processor) or =fused
// (one FMA each, where the processor has it). Both give the same bits; the variable lets both be
// played, and recorded, on the same machine. Unset, Sine takes FMA wherever it can.

enum class SineProductsRequest {
    kNone,         // the variable is unset: the processor's own choice stands
    kApplied,      // the named arithmetic is in use
    kUnknownName,  // neither dekker nor fused: nothing changed
    kUnavailable,  // fused, on a processor without FMA: Dekker's stay in use
};

constexpr const char kSineProductsVariable[] = "EXCLUSIVE_TONE_SINE_PRODUCTS";

// Reads the variable and applies what it names. Call before the first sine.
SineProductsRequest ApplySineProductsRequest();

// What a program says on standard error of a request it could not meet; null for the others.
const char* SineProductsRequestProblem(SineProductsRequest request);
