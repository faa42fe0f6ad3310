#include "protocol/GbkText.h"

#include <gtest/gtest.h>

namespace {

struct EncodeCase
{
    const char *pszWhat;
    std::string strUtf8;
    std::optional<std::string> expected;
};

TEST(GbkText, EncodesOrRefuses)
{
    const EncodeCase cases[] = {
        {"ascii passes unchanged", "Office 1", std::string("Office 1")},
        {"empty stays empty", "", std::string()},
        {"chinese takes two bytes each", "无校验", std::string("\xce\xde\xd0\xa3\xd1\xe9")},
        {"emoji is refused", "\xF0\x9F\x98\x80", std::nullopt},
        {"emoji after text is refused whole", "ab\xF0\x9F\x98\x80", std::nullopt},
        {"invalid utf-8 is refused", "a\xff", std::nullopt},
        {"truncated utf-8 is refused", "\xe6\x97", std::nullopt},
        {"a character outside the code page is refused", "\xe2\x82\xbf", std::nullopt}, // ₿
    };
    for (const EncodeCase &c : cases)
        EXPECT_EQ(Utf8ToGbk(c.strUtf8), c.expected) << c.pszWhat;
}

TEST(GbkText, DecodesWhatTheLineDelivers)
{
    EXPECT_EQ(GbkToUtf8("\xce\xde\xd0\xa3\xd1\xe9"), "无校验");
    // A stray or truncated lead byte shows as U+FFFD and the rest still comes through.
    EXPECT_EQ(GbkToUtf8("a\xff"
                        "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(GbkToUtf8("ab\xce"), "ab\xEF\xBF\xBD");
    // Every two-byte text the encoder makes decodes back to itself.
    for (const char *pszText : {"设备名称", "Sniff节能参数", "查询 [设备名称] 时超时"}) {
        const std::optional<std::string> gbk = Utf8ToGbk(pszText);
        ASSERT_TRUE(gbk.has_value()) << pszText;
        EXPECT_EQ(GbkToUtf8(*gbk), pszText);
    }
}

struct FieldCase
{
    const char *pszWhat;
    std::string strUtf8;
    std::string strGbk;
    std::string strError;
};

// Whatever the way in, the message names the field and what is wrong, and no bytes come back.
TEST(GbkText, FieldCheckNamesFieldAndCharacter)
{
    const FieldCase cases[] = {
        {"convertible text gives its bytes", "蓝牙 1", "\xc0\xb6\xd1\xc0 1", ""},
        {"emoji named by code point", "ab\xF0\x9F\x98\x80", "",
         "--name: holds U+1F600, a character GBK cannot carry (the module stores GBK text only)"},
        {"first refused character is named", "\xe2\x82\xbf\xF0\x9F\x98\x80", "",
         "--name: holds U+20BF, a character GBK cannot carry (the module stores GBK text only)"},
        {"stray continuation byte", "a\x80", "", "--name: is not valid UTF-8 text"},
        {"sequence cut short", "a\xe6\x97", "", "--name: is not valid UTF-8 text"},
        {"lead byte followed by ASCII", "\xe6\x41\x41", "", "--name: is not valid UTF-8 text"},
    };
    for (const FieldCase &c : cases) {
        const GbkFieldText result = CheckGbkFieldText("--name", c.strUtf8);
        EXPECT_EQ(result.strGbk, c.strGbk) << c.pszWhat;
        EXPECT_EQ(result.strError, c.strError) << c.pszWhat;
    }
}

} // namespace
