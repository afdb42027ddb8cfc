#include "core/Regex.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Regex, DotMatchesLineBreaksAndAnchorsAreWholeText) {
    RegexMatchResult m;
    ASSERT_TRUE(Regex::Get("a(.*)b")->Search("a\r\nb", m));
    EXPECT_EQ(m.Group("a\r\nb", 1), "\r\n");
    EXPECT_FALSE(Regex::Get("^b")->Matches("a\nb"));
    EXPECT_FALSE(Regex::Get("a$")->Matches("a\nb"));
    EXPECT_FALSE(Regex::Get("b$")->Matches("a\nb\n"));
    EXPECT_TRUE(Regex::Get("b$")->Matches("a\nb"));
}

TEST(Regex, MissingGroupsReadEmpty) {
    RegexMatchResult m;
    ASSERT_TRUE(Regex::Get("(a)|(b)")->Search("b", m));
    EXPECT_EQ(m.Group("b", 1), "");
    EXPECT_EQ(m.Group("b", 2), "b");
    EXPECT_EQ(m.Group("b", 7), "");
}

TEST(Regex, BadPatternThrows) {
    EXPECT_THROW(Regex::Get("(unclosed"), RegexError);
}

TEST(Regex, ReplaceAllIsLiteralAndSteppedOverEmptyMatches) {
    EXPECT_EQ(Regex::Get("b+")->ReplaceAll("abbcb", "$1"), "a$1c$1");
    EXPECT_EQ(Regex::Get("x*")->ReplaceAll("ab", "-"), "-a-b-");
}

TEST(Regex, CatastrophicPatternEndsAsNoMatch) {
    const std::string text(40, 'a');
    EXPECT_FALSE(Regex::Get("(a+)+$")->Matches(text + "!"));
}

TEST(Regex, ClassesCountBytes) {
    RegexMatchResult m;
    const std::string text = "<\xD6\xD0>";
    ASSERT_TRUE(Regex::Get("<([^<>]{2})>")->Search(text, m));
    EXPECT_EQ(m.Group(text, 1), "\xD6\xD0");
}

}  // namespace
