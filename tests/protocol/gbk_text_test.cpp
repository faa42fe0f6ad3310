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
    EXPECT_EQ(GbkToUtf8("a\xff" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(GbkToUtf8("ab\xce"), "ab\xEF\xBF\xBD");
    // Every two-byte text the encoder makes decodes back to itself.
    for (const char *pszText : {"设备名称", "Sniff节能参数", "查询 [设备名称] 时超时"}) {
        const std::optional<std::string> gbk = Utf8ToGbk(pszText);
        ASSERT_TRUE(gbk.has_value()) << pszText;
        EXPECT_EQ(GbkToUtf8(*gbk), pszText);
    }
}

} // namespace
