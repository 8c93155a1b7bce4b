#include "format.h"

#include <gtest/gtest.h>

using namespace dozorira::output;

TEST(Utf8, SubjectNamesThatTextFormatsCanHold) {
    for (const std::string_view text :
         {"", "pp01", "Zo\xC3\xAB", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF"})
        EXPECT_TRUE(isUtf8(text)) << text;
    // Latin-1, a stray continuation byte, overlong forms, a surrogate, past U+10FFFF, cut short.
    for (const std::string_view text :
         {"pp\xE9", "\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
          "\xF5\x80\x80\x80", "\xE2\x82"})
        EXPECT_FALSE(isUtf8(text)) << text;
}
