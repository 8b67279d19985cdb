#include "platform/codepage_1252.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(Windows1252, EveryByteRoundTripsThroughUtf8) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) {
        all.push_back(static_cast<char>(byte));
    }
    std::string utf8;
    AppendUtf8FromWindows1252(all, utf8);
    EXPECT_EQ(Windows1252FromUtf8(utf8), all);
}

TEST(Windows1252, ConvertsTheCharactersOfTheCodePage) {
    struct Case {
        const char* utf8;
        const char* bytes;
    };
    const Case cases[] = {
        {"\xE2\x82\xAC", "\x80"},         // €
        {"\xC3\xA9", "\xE9"},             // é
        {"\xC5\x93", "\x9C"},             // œ
        {"\xE2\x80\x94", "\x97"},         // em dash
        {"C:\\Jeux\\G\xC3\xA9n\xC3\xA9raux", "C:\\Jeux\\G\xE9n\xE9raux"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Windows1252FromUtf8(c.utf8), std::string(c.bytes)) << c.utf8;
        std::string back;
        AppendUtf8FromWindows1252(c.bytes, back);
        EXPECT_EQ(back, c.utf8);
    }
}

TEST(Windows1252, RefusesWhatTheCodePageCannotHold) {
    for (const char* text : {"\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xC4\x80", "bad \xC3", "\xED\xA0\x80"}) {
        EXPECT_EQ(Windows1252FromUtf8(text), std::nullopt) << text;
    }
    EXPECT_EQ(Windows1252FromUtf8Lossy("a\xE4\xB8\xAD" "b\xF0\x9F\x98\x80" "c\xC3\xA9"), "a?b?c\xE9");
}

} // namespace
} // namespace vantrel
