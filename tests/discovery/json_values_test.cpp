#include "discovery/json_values.h"

#include <gtest/gtest.h>
#include <string>

namespace vantrel {
namespace {

// A value in a compact form: strings in <>, arrays in [], objects as {key:value,...}.
std::string Describe(const JsonValue& value) {
    std::string text;
    switch (value.kind) {
    case JsonValue::Kind::Null:
        return "null";
    case JsonValue::Kind::Boolean:
        return value.boolean ? "true" : "false";
    case JsonValue::Kind::Number:
        return value.text;
    case JsonValue::Kind::String:
        return "<" + value.text + ">";
    case JsonValue::Kind::Array:
        for (const auto& item : value.items) {
            text += (text.empty() ? "" : ",") + Describe(item);
        }
        return "[" + text + "]";
    case JsonValue::Kind::Object:
        for (std::size_t i = 0; i < value.items.size(); ++i) {
            text += (i > 0 ? "," : "") + value.keys[i] + ":" + Describe(value.items[i]);
        }
        return "{" + text + "}";
    }
    return "?";
}

std::string DescribeText(std::string_view text) {
    const std::optional<JsonValue> value = ParseJson(text);
    return value ? Describe(*value) : "invalid";
}

TEST(JsonValues, ReadsJsonAndRefusesWhatIsNot) {
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"values", R"({"a": [1, -2.5e3, 0, true, false, null], "b": {}, "c": []})",
         "{a:[1,-2.5e3,0,true,false,null],b:{},c:[]}"},
        {"escapes", R"(["\u00e9\ud83d\ude00\n\/\"\\\t\b\f\r"])",
         "[<\xC3\xA9\xF0\x9F\x98\x80\n/\"\\\t\b\f\r>]"},
        {"lone surrogates", R"(["\ud800x", "\udc00", "\ud800\u0041", "\ud800\uZZ"])", "invalid"},
        {"lone surrogates become U+FFFD", R"(["\ud800x", "\udc00", "\ud800\u0041"])",
         "[<\xEF\xBF\xBDx>,<\xEF\xBF\xBD>,<\xEF\xBF\xBD"
         "A>]"},
        {"byte order mark and white space", "\xEF\xBB\xBF \r\n\t{\"a\" : \"b\"} \n", "{a:<b>}"},
        {"UTF-8 passes through", "\"Zero Hour \xC3\xA9\"", "<Zero Hour \xC3\xA9>"},
        {"trailing comma", R"({"a": 1,})", "invalid"},
        {"missing comma", "[1 2]", "invalid"},
        {"leading zero", "01", "invalid"},
        {"bare point", "1.", "invalid"},
        {"bare minus", "-", "invalid"},
        {"bare exponent", "1e", "invalid"},
        {"unclosed string", R"("abc)", "invalid"},
        {"unknown escape", R"("a\qb")", "invalid"},
        {"short \\u", R"("\u12")", "invalid"},
        {"bad hex", R"("\u12G4")", "invalid"},
        {"missing colon", R"({"a" 1})", "invalid"},
        {"key not a string", "{a: 1}", "invalid"},
        {"cut-off literals", "tru", "invalid"},
        {"raw control character", "\"a\nb\"", "invalid"},
        {"something after the value", "{} x", "invalid"},
        {"two values", "1 2", "invalid"},
        {"unclosed object", R"({"a": {"b": 1})", "invalid"},
        {"backslash at the end", "\"\\", "invalid"},
        {"empty", "", "invalid"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DescribeText(c.text), c.expected) << c.name;
    }
}

TEST(JsonValues, NestsNoDeeperThanItsLimit) {
    EXPECT_NE(ParseJson(std::string(64, '[') + std::string(64, ']')), std::nullopt);
    EXPECT_EQ(ParseJson(std::string(65, '[') + std::string(65, ']')), std::nullopt);
    EXPECT_EQ(ParseJson(std::string(1000000, '{')), std::nullopt) << "would overflow the stack unchecked";
}

TEST(JsonValues, FindsTheLastMemberOfAName) {
    const std::optional<JsonValue> value = ParseJson(R"({"a": "first", "n": 1, "a": "second"})");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->Text("a"), "second");
    EXPECT_EQ(value->Text("n"), "") << "not a string";
    EXPECT_EQ(value->Find("missing"), nullptr);
    ASSERT_NE(value->Find("n"), nullptr);
    EXPECT_EQ(value->Find("n")->Find("a"), nullptr) << "a number has no members";
}

} // namespace
} // namespace vantrel
