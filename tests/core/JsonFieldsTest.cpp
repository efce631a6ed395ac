// Field readers: the cutting rules that every protocol exchange relies on, quirks included.
#include <gtest/gtest.h>

#include <climits>

#include "core/JsonFields.h"

using namespace velora;

namespace {

struct TextCase {
    std::u16string_view answer;
    std::u16string_view key;
    std::u16string_view want;
};

constexpr std::u16string_view kDefault = u"<default>";

}  // namespace

TEST(GetStringField, CutsValuesByTheDelimiterRules) {
    const TextCase cases[] = {
        {u"{\"code\":200,\"message\":\"ok\"}", u"message", u"ok"},
        // A number read as a text runs on to the next quote that ends a value.
        {u"{\"code\":200,\"message\":\"ok\"}", u"code", u"00,\"message\":\"ok"},
        {u"{\"name\":\"  a  b \",\"x\":1}", u"name", u"a  b"},
        {u"{\"name\":\" \\t\\n x\"}", u"name", u"\\t\\n x"},
        {u"{\"name\":\"\t\r\n x \t\"}", u"name", u"x"},
        {u"{\"a\":\"x\"}", u"a", u"x"},
        {u"{\"a\":\"\"}", u"a", u""},
        {u"{\"msg\":\"\u4e2d\u6587\"}", u"msg", u"\u4e2d\u6587"},
        // Escapes stay as they are.
        {u"{\"m\":\"a\\\"b\",\"x\":1}", u"m", u"a\\\"b"},
        {u"{\"m\":\"line\\nnext\"}", u"m", u"line\\nnext"},
        // Quote-comma is searched first over the whole rest: a value that closes its object ends at a
        // later quote-comma.
        {u"{\"o\":{\"a\":\"x\"},\"b\":\"y\",\"c\":1}", u"a", u"x\"},\"b\":\"y"},
        // Neither quote-comma nor quote-brace: the first quote from the value's second unit on.
        {u"{\"a\":\"xyz\"]", u"a", u"xyz"},
        {u"{\"a\":\"x\"y\"]", u"a", u"x"},
        // A key inside a longer key is passed over once.
        {u"{\"errmessage\":\"bad\",\"message\":\"ok\"}", u"message", u"ok"},
        // A quoted value equal to the key is taken for the key.
        {u"{\"a\":\"message\",\"message\":\"ok\"}", u"message", u"message\":\"ok"},
        // No blanks are allowed around the colon: the reader starts at a fixed offset.
        {u"{\"a\": \"x\",\"b\":1}", u"a", u"\"x"},
        // A key at the very start is not checked for quotes.
        {u"code\":\"x\"}", u"code", u"x"},
        {u"xcode\":\"x\"}", u"code", u"x"},
        // The second search finds nothing: the first occurrence is kept.
        {u"{\"errcode\":\"e\",\"x\":1}", u"code", u"e"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetStringField(c.answer, c.key, kDefault), c.want)
            << "key " << std::string(c.key.begin(), c.key.end());
    }
}

TEST(GetStringField, GivesTheDefaultWhenNothingFits) {
    const TextCase cases[] = {
        {u"{\"code\":200}", u"x", kDefault},  {u"", u"code", kDefault}, {u"{\"code\":\"a\"}", u"", kDefault},
        {u"{\"abc", u"abc", kDefault},         // value would start beyond the end
        {u"{\"abc\":\"", u"abc", kDefault},    // empty rest
        {u"{\"a\":\"\"]", u"a", kDefault},     // only the opening quote of an empty value
        {u"{\"a\":\"no end", u"a", kDefault},  // no closing quote at all
        {u"{\"a\":\"x", u"a", kDefault},
    };
    for (const auto& c : cases) EXPECT_EQ(GetStringField(c.answer, c.key, kDefault), c.want);
}

TEST(GetIntField, ReadsDecimalNumbersUpToTheNextDelimiter) {
    struct Case {
        std::u16string_view answer;
        std::u16string_view key;
        int32_t want;
    };
    const Case cases[] = {
        {u"{\"code\":200,\"message\":\"ok\"}", u"code", 200},
        {u"{\"code\":\"200\"}", u"code", 0},
        {u"{\"code\":200}", u"x", -7},
        {u"{\"errcode\":1,\"code\":5}", u"code", 5},
        {u"{\"a\":\"code\",\"code\":5}", u"code", 0},
        {u"{\"n\":-42}", u"n", -42},
        {u"{\"n\":+8,\"x\":1}", u"n", 8},
        {u"{\"n\": \t17,\"x\":1}", u"n", 17},
        {u"{\"n\":17 }", u"n", 17},
        {u"{\"n\":12abc,\"x\":1}", u"n", 12},
        {u"{\"n\":3.7}", u"n", 3},
        {u"{\"n\":null}", u"n", 0},
        {u"{\"n\":true}", u"n", 0},
        {u"{\"n\":}", u"n", 0},
        {u"{\"n\":- 5}", u"n", 0},
        {u"{\"n\":2147483647}", u"n", INT32_MAX},
        {u"{\"n\":2147483648}", u"n", INT32_MAX},
        {u"{\"n\":99999999999999999999999}", u"n", INT32_MAX},
        {u"{\"n\":-2147483648}", u"n", INT32_MIN},
        {u"{\"n\":-2147483649}", u"n", INT32_MIN},
        {u"{\"n\":-99999999999999999999999}", u"n", INT32_MIN},
        {u"{\"a\":{\"n\":1}}", u"n", 1},
        {u"{\"n\":5", u"n", -7},  // neither "," nor "}" after the value
        {u"{\"n", u"n", -7},
        {u"", u"n", -7},
        {u"{\"n\":1}", u"", -7},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetIntField(c.answer, c.key, -7), c.want) << std::string(c.answer.begin(), c.answer.end());
    }
}

TEST(GetBoolField, AcceptsTrueAndFalseInAnyCaseOnly) {
    struct Case {
        std::u16string_view answer;
        uint8_t want;
    };
    const Case cases[] = {
        {u"{\"ok\":true}", 1},  {u"{\"ok\":TRUE,\"x\":1}", 1},  {u"{\"ok\":tRuE}", 1},
        {u"{\"ok\":false}", 0}, {u"{\"ok\":False,\"x\":1}", 0}, {u"{\"ok\":yes}", 9},
        {u"{\"ok\":1}", 9},     {u"{\"ok\":\"true\"}", 9},      {u"{\"ok\": true}", 9},  // not trimmed
        {u"{\"ok\":true }", 9}, {u"{\"ok\":true", 9},           {u"{\"other\":true}", 9},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetBoolField(c.answer, u"ok", 9), c.want) << std::string(c.answer.begin(), c.answer.end());
    }
}

TEST(GetArrayField, GivesTheFirstArrayInsideWithoutQuotes) {
    const TextCase cases[] = {
        {u"{\"dns\":[\"10.0.0.1\",\"10.0.0.2\"]}", u"dns", u"10.0.0.1,10.0.0.2"},
        {u"{\"dns\":[1]}", u"dns", u"1"},
        {u"{\"dns\":[ \"a b\" , 2 ]}", u"dns", u" a b , 2 "},
        {u"{\"a\":[1,2],\"dns\":[3]}", u"dns", u"3"},
        {u"{\"dns\":[[\"a\"],[\"b\"]]}", u"dns", u"[a"},
        {u"{\"x\":\"dns\",\"list\":[\"a\"]}", u"dns", u"a"},  // no quote check on the key
        {u"{\"dns\":[]}", u"dns", kDefault},
        {u"{\"dns\":\"x\"}", u"dns", kDefault},
        {u"{\"dns\":[\"x\"", u"dns", kDefault},
        {u"{\"dns\":\"]\",\"x\":[\"a\"]}", u"dns", kDefault},  // "]" before "["
        {u"{\"dns\":[1]}", u"x", kDefault},
        {u"", u"dns", kDefault},
        {u"{\"dns\":[1]}", u"", kDefault},
    };
    for (const auto& c : cases) EXPECT_EQ(GetArrayField(c.answer, c.key, kDefault), c.want);
}

TEST(GetObjectField, GivesTheKeyUpToTheBraceThatClosesItsObject) {
    const TextCase cases[] = {
        {u"x {\"k\":{\"a\":{\"b\":1}}}", u"k", u"k\":{\"a\":{\"b\":1}}"},
        {u"{\"k\":{\"a\":1},\"m\":{\"b\":2}}", u"k", u"k\":{\"a\":1}"},
        {u"{\"k\":{}}", u"k", u"k\":{}"},
        // Braces inside strings count: the reader follows the text, not the grammar.
        {u"{\"k\":{\"a\":\"}\"},\"z\":1}", u"k", u"k\":{\"a\":\"}"},
        // A closing brace before any opening one drives the depth below zero first.
        {u"{\"k\":\"v\"},{\"z\":{}}", u"k", u"k\":\"v\"},{"},
        {u"{\"k\":1}", u"k", kDefault},
        {u"{\"k\":{\"a\":1", u"k", kDefault},
        {u"{\"k\":{}}", u"x", kDefault},
        {u"", u"k", kDefault},
        {u"{\"k\":{}}", u"", kDefault},
    };
    for (const auto& c : cases) EXPECT_EQ(GetObjectField(c.answer, c.key, kDefault), c.want);
}

TEST(GetFirstArrayObject, GivesTheArrayInsideFromItsFirstObject) {
    const TextCase cases[] = {
        {u"{\"list\":[{\"a\":1},{\"b\":2}]}", u"list", u"{\"a\":1},{\"b\":2}"},
        {u"{\"list\":[1,{\"a\":1}]}", u"list", u"{\"a\":1}"},
        {u"{\"list\":[{\"a\":[1]},{\"b\":2}]}", u"list", u"{\"a\":[1"},  // cut at the first "]"
        {u"{\"list\":[]}", u"list", kDefault},
        {u"{\"list\":[\"x\"]}", u"list", kDefault},
        {u"{\"list\":{\"a\":1}}", u"list", kDefault},
        {u"{\"list\":[{\"a\":1}", u"list", kDefault},
        {u"{\"list\":[1],\"x\":{\"a\":1}}", u"list", kDefault},
        {u"{\"list\":[{}]}", u"x", kDefault},
        {u"", u"list", kDefault},
        {u"{\"list\":[{}]}", u"", kDefault},
    };
    for (const auto& c : cases) EXPECT_EQ(GetFirstArrayObject(c.answer, c.key, kDefault), c.want);
}

TEST(MaskStringField, HidesTheValueOfTheKey) {
    const TextCase cases[] = {
        {u"{\"password\":\"secret\",\"x\":1}", u"password", u"{\"password\":\"***\",\"x\":1}"},
        {u"{\"password\":\"\"}", u"password", u"{\"password\":\"***\"}"},
        {u"{\"encryptPassword\":\"abc\",\"password\":\"def\"}", u"encryptPassword",
         u"{\"encryptPassword\":\"***\",\"password\":\"def\"}"},
        {u"{\"encryptPassword\":\"abc\",\"password\":\"def\"}", u"password",
         u"{\"encryptPassword\":\"abc\",\"password\":\"***\"}"},
        // A user-typed value that contains the key's name does not draw the mask away from the secret.
        {u"{\"username\":\"my password\",\"password\":\"s3cret\"}", u"password",
         u"{\"username\":\"my password\",\"password\":\"***\"}"},
        // An escaped quote inside the secret does not end it.
        {u"{\"password\":\"a\\\"b\\\\\",\"x\":1}", u"password", u"{\"password\":\"***\",\"x\":1}"},
        // Without the quoted form the first occurrence is masked from a fixed offset.
        {u"password= \"abc\"", u"password", u"password= \"***\""},
        {u"{\"x\":1}", u"password", u"{\"x\":1}"},
        {u"{\"password\":1}", u"password", u"{\"password\":1}"},
        {u"{\"password\":\"abc", u"password", u"{\"password\":\"abc"},
        {u"{\"password", u"password", u"{\"password"},
        {u"{\"password\":\"abc\"}", u"", u"{\"password\":\"abc\"}"},
        {u"", u"password", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(MaskStringField(c.answer, c.key), c.want);
}

TEST(FieldReaders, NeverReadOutsideTheAnswer) {
    // Views cut from a larger buffer: a reader that ran past the view's end would see the tail.
    const std::u16string buffer = u"{\"a\":\"x\",\"n\":5}TAIL\",\"n\":9}";
    const std::u16string_view answer = std::u16string_view(buffer).substr(0, 15);  // {"a":"x","n":5}
    EXPECT_EQ(GetIntField(answer, u"n", -1), 5);
    EXPECT_EQ(GetStringField(answer.substr(0, 7), u"a", u"d"), u"d");  // {"a":"x
    EXPECT_EQ(GetIntField(answer.substr(0, 14), u"n", -1), -1);        // {"a":"x","n":5
}
