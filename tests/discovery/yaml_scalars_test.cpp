#include "discovery/yaml_scalars.h"

#include <gtest/gtest.h>
#include <string>

namespace vantrel {
namespace {

// The scalars in a compact form: keys joined by dots, "=" and the value, quoted ones in <>.
std::string Describe(const std::vector<YamlScalar>& scalars) {
    std::string text;
    for (const auto& scalar : scalars) {
        for (std::size_t i = 0; i < scalar.keys.size(); ++i) {
            text += (i > 0 ? "." : "") + scalar.keys[i];
        }
        text += "=" + (scalar.quoted ? "<" + scalar.value + ">" : scalar.value) + ";";
    }
    return text;
}

TEST(YamlScalars, ReadsWhatPyYamlWritesAndSurvivesWhatItDoesNot) {
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    std::string deep;
    for (int i = 0; i < 40; ++i) {
        deep += std::string(static_cast<std::size_t>(i) * 2, ' ') + "k:\n";
    }
    deep += std::string(80, ' ') + "v: 1\nz: 2\n";
    const Case cases[] = {
        {"nested mappings",
         "game:\n  exe: /g/generals.exe\n  prefix: /g\nname: C&C\nsystem: {}\nwine:\n  version: x\n",
         "game.exe=/g/generals.exe;game.prefix=/g;name=C&C;wine.version=x;"},
        {"indentless sequences pass over their entries",
         "script:\n  files:\n  - setup: N/A\n  installer:\n  - task:\n      prefix: $GAMEDIR\n  game:\n    "
         "prefix: "
         "$GAMEDIR\ngame:\n  prefix: /p\n",
         "script.game.prefix=$GAMEDIR;game.prefix=/p;"},
        {"single quotes", "a: 'it''s: #1'\nb: 'folded\n  line\n\n  para'\n",
         "a=<it's: #1>;b=<folded line\npara>;"},
        {"double-quote escapes", R"(b: "j\xFCrgen \u00E9\U0001F600\t\"q\"\\\/ \uD800")",
         "b=<j\xC3\xBCrgen \xC3\xA9\xF0\x9F\x98\x80\t\"q\"\\/ \xEF\xBF\xBD>;"},
        {"escaped line break joins", "d: \"long\\\n  \\ joined\"\ne: \"kept \\\n\n  x\"\n",
         "d=<long joined>;e=<kept \nx>;"},
        {"unknown and cut-off escapes kept", R"(a: "\q\x4")", "a=<\\q\\x4>;"},
        {"plain continuation and comments",
         "exe: /home/u/a long\n  path # note\n  not this\nkey: value # c\n# line\nurl: http://x#y\n",
         "exe=/home/u/a long path;key=value;url=http://x#y;"},
        {"BOM and CRLF",
         "\xEF\xBB\xBF"
         "a:\r\n  b: 1\r\n  c: 'x\r\n    y'\r\n",
         "a.b=1;a.c=<x y>;"},
        {"flow collections and block scalars",
         "e: {a: 1, b: [2, 3]}\nf: [x,\n  'y]']\ng: |\n  t: in\n  - more\nh: 1\n", "h=1;"},
        {"unclosed quote", "a: 'open\nb: 2\n", "b=2;"},
        {"quote continued too little", "a:\n  b: \"x\n  y\"\nc: 3\n", "c=3;"},
        {"unclosed quote at the end", "a: \"open", ""},
        {"unclosed flow", "a: [1, 2\nb: 3\n", "b=3;"},
        {"tab in the indentation", "a:\n\tb: 1\nc: 2\n", "c=2;"},
        {"lines without a key", "just text\n: x\nx: 1\n", "x=1;"},
        {"anchors, tags and aliases", "a: &x 1\nb: *x\nc: !!str 3\nd: &y\n  e: 4\n", "a=1;c=3;d.e=4;"},
        {"one document", "---\na: 1\n...\nb: 2\n", "a=1;"},
        {"a second document is not read", "a: 1\n---\nb: 2\n", "a=1;"},
        {"quoted keys", "'my key': v\n\"k\\x41\": w\n'bad' x: y\n", "my key=v;kA=w;"},
        {"complex keys pass over", "? a\n: b\nc: 1\n", "c=1;"},
        {"deep nesting is cut", deep, "z=2;"},
        {"nulls and empty strings", "a:\nb: ~\nc: ''\n", "b=~;c=<>;"},
        {"not a mapping", "- a\n- b: 1\n", ""},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Describe(ReadYamlScalars(c.text)), c.expected) << c.name;
    }
}

TEST(YamlScalars, FindsTheLastOfRepeatedKeysAndTellsNullsAndFalsehoods) {
    const auto scalars = ReadYamlScalars(
        "a:\n  b: first\n  b: second\nn: null\nt: ~\nq: 'null'\nno: No\noff: 'false'\nzero: -0.0\nnum: 10\n"
        "empty: ''\nyes: true\n");
    ASSERT_NE(FindYamlScalar(scalars, {"a", "b"}), nullptr);
    EXPECT_EQ(FindYamlScalar(scalars, {"a", "b"})->value, "second");
    EXPECT_EQ(FindYamlScalar(scalars, {"a"}), nullptr) << "a mapping is no scalar";
    EXPECT_EQ(FindYamlScalar(scalars, {"b"}), nullptr) << "keys are matched from the top";
    EXPECT_EQ(YamlText(FindYamlScalar(scalars, {"n"})), "");
    EXPECT_EQ(YamlText(FindYamlScalar(scalars, {"t"})), "");
    EXPECT_EQ(YamlText(FindYamlScalar(scalars, {"q"})), "null") << "quoted, it is text";
    EXPECT_EQ(YamlText(nullptr), "");

    struct Case {
        const char* key;
        bool truth;
    };
    const Case cases[] = {{"n", false},  {"q", true},      {"no", false}, {"off", true},     {"zero", false},
                          {"num", true}, {"empty", false}, {"yes", true}, {"missing", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(YamlTruth(FindYamlScalar(scalars, {c.key})), c.truth) << c.key;
    }
}

} // namespace
} // namespace vantrel
