#include "discovery/key_values.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

// The entries in a compact form: key=value, key{...}, in order.
std::string Describe(const std::vector<KeyValue>& entries) {
    std::string text;
    for (const auto& entry : entries) {
        text += entry.key + (entry.isBlock ? "{" + Describe(entry.children) + "}" : "=" + entry.value) + ";";
    }
    return text;
}

TEST(KeyValues, ReadsWhatSteamWritesAndSurvivesWhatItDoesNot) {
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"manifest", "\"AppState\"\n{\n\t\"appid\"\t\t\"2732960\"\n\t\"name\"\t\t\"C&C\"\n}\n",
         "AppState{appid=2732960;name=C&C;};"},
        {"CRLF and bare tokens", "libraryfolders\r\n{\r\n 0 { path C:\\\\Steam }\r\n}\r\n",
         "libraryfolders{0{path=C:\\\\Steam;};};"},
        {"escapes", R"("path" "D:\\Games\\Steam" "q" "say \"hi\"\tnow\n" "odd" "\x")",
         "path=D:\\Games\\Steam;q=say \"hi\"\tnow\n;odd=\\x;"},
        {"comments", "// head\n\"a\" \"1\" // tail \"b\" \"2\"\n\"c\" \"3\"", "a=1;c=3;"},
        {"conditions dropped, entries kept", "\"a\" \"1\" [$WIN32]\n\"b\" [!$X360] { \"c\" \"2\" }", "a=1;b{c=2;};"},
        {"key with a block right after", "a{b{c d}}e f", "a{b{c=d;};};e=f;"},
        {"unclosed quote drops the entry", "\"a\" \"1\" \"b\" \"unfinished", "a=1;"},
        {"unclosed blocks close at the end", "\"a\" { \"b\" { \"c\" \"1\"", "a{b{c=1;};};"},
        {"truncated after a key", "\"a\" { \"b\"", "a{};"},
        {"stray closing brace", "} \"a\" \"1\" }} \"b\" \"2\"", "a=1;b=2;"},
        {"key without value before a close", "\"a\" { \"b\" } \"c\" \"1\"", "a{};c=1;"},
        {"block without key", "{ \"a\" \"1\" } \"b\" \"2\"", "{a=1;};b=2;"},
        {"empty", "", ""},
        {"lone backslash at the end", "\"a\" \"\\", ""},
        {"deep nesting is cut", "a{b{c{d{e{f{g{h{i{j{k{l{m{n{o{p{q{r{s{t{u{v{w{x{y{z{A{B{C{D{E{F{G{H 1}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}} I 2",
         "a{b{c{d{e{f{g{h{i{j{k{l{m{n{o{p{q{r{s{t{u{v{w{x{y{z{A{B{C{D{E{F{};};};};};};};};};};};};};};};};};};};};};};};};};};};};};};};};I=2;"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Describe(ParseKeyValues(c.text)), c.expected) << c.name;
    }
    // Nesting far deeper than the stack would bear, were it read or freed by recursion.
    const auto deep = ParseKeyValues(std::string(1000000, '{') + "\"a\" \"1\"");
    ASSERT_EQ(deep.size(), 1u);
}

TEST(KeyValues, LooksUpKeysWithoutRegardToCase) {
    const auto entries = ParseKeyValues("\"AppState\" { \"Name\" \"Zero Hour\" \"sub\" { } \"sub\" \"text\" }");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Text("name"), "Zero Hour");
    EXPECT_EQ(entries[0].Text("SUB"), "text") << "a block of that name has no text";
    EXPECT_EQ(entries[0].Text("missing"), "");
    ASSERT_NE(entries[0].Find("sub"), nullptr);
    EXPECT_TRUE(entries[0].Find("sub")->isBlock);
    EXPECT_EQ(entries[0].Find("missing"), nullptr);
}

} // namespace
} // namespace vantrel
