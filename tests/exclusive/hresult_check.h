#pragma once

// HRESULT comparisons whose failures show both results as the 32-bit patterns that Windows
// documents (0x88890004), not as the signed decimals gtest prints for a LONG (-2004287484).

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/audio_endpoint.h"

inline std::string HresultText(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(result) & 0xFFFFFFFFul);
    return text;
}

inline testing::AssertionResult HresultsEqual(const char* firstText, const char* secondText,
                                              HRESULT first, HRESULT second) {
    if (first == second) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "Expected equality of these HRESULTs:\n  " << firstText
                                       << "\n    Which is: " << HresultText(first) << "\n  "
                                       << secondText << "\n    Which is: " << HresultText(second);
}

#define EXPECT_HR_EQ(first, second) EXPECT_PRED_FORMAT2(HresultsEqual, first, second)
#define ASSERT_HR_EQ(first, second) ASSERT_PRED_FORMAT2(HresultsEqual, first, second)
