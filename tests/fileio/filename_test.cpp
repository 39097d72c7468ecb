#include "fileio/filename.h"

#include <gtest/gtest.h>

namespace {

TEST(FileName, EveryNameReturnsToItsBytes)
{
    const std::string names[] = {
        "plain.lsd",
        "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8c\xbf.lsd", // 2-, 3- and 4-byte sequences
        "latin1 caf\xe9.lsd",                            // not UTF-8
        "\xff\xfe\x80",                                  // no valid sequence at all
        "cut \xe2\x82",                                  // a sequence cut short
        "overlong \xc0\xaf, surrogate \xed\xa0\x80, beyond \xf4\x90\x80\x80",
    };
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(encodeFileName(decodeFileName(name)), name);
    }
    // Valid UTF-8 decodes as its text; only what is invalid is escaped.
    EXPECT_EQ(decodeFileName("caf\xc3\xa9\xe9"),
              (std::u16string{ u'c', u'a', u'f', 0xE9, 0xDCE9 }));
    EXPECT_EQ(decodeFileName("\xf0\x9f\x8c\xbf"), u"\U0001F33F");
}

} // namespace
