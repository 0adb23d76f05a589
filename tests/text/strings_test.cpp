#include "text/strings.h"

#include <gtest/gtest.h>

#include <string>

namespace gathrix {
namespace {

TEST(SandR, ReplacesEveryOccurrenceLeftToRightWithoutOverlap) {
    EXPECT_EQ(SandR("a_s.b_s.jpg", "_s.", "_o."), "a_o.b_o.jpg");
    EXPECT_EQ(SandR("aaa", "aa", "b"), "ba");
    EXPECT_EQ(SandR("aaaa", "aa", "b"), "bb");
    // Inserted text is never searched again.
    EXPECT_EQ(SandR("ab", "a", "aa"), "aab");
    EXPECT_EQ(SandR("xax", "a", "ba"), "xbax");
}

TEST(SandR, RemovesQuotesAndRespectsCase) {
    EXPECT_EQ(SandR(":\"http://h/p.jpg\"", "\"", ""), ":http://h/p.jpg");
    EXPECT_EQ(SandR("ABC", "b", "x"), "ABC");
}

TEST(SandR, DegenerateArgumentsLeaveTheTextAlone) {
    EXPECT_EQ(SandR("abc", "", "x"), "abc");
    EXPECT_EQ(SandR("abc", "b", "b"), "abc");
    EXPECT_EQ(SandR("", "b", "x"), "");
    EXPECT_EQ(SandR("bbb", "b", ""), "");
}

TEST(SandR, WorksBeyondSixteenBitLengths) {
    std::string big(100000, 'x');
    big[70000] = 'y';
    const std::string out = SandR(big, "y", "zz");
    EXPECT_EQ(out.size(), 100001u);
    EXPECT_EQ(out.substr(70000, 2), "zz");
}

TEST(retparm, PicksNumberedFields) {
    EXPECT_EQ(retparm("a/b", 1, "/"), "a");
    EXPECT_EQ(retparm("a/b", 2, "/"), "b");
    EXPECT_EQ(retparm("a/b", 3, "/"), "");
    EXPECT_EQ(retparm("abc", 1, "?"), "abc");
    EXPECT_EQ(retparm("a/b/c", 2, "/"), "b");
    EXPECT_EQ(retparm("ab//c", 3, "/"), "c");
    EXPECT_EQ(retparm("x'http://h/a.jpg'y", 2, "'"), "http://h/a.jpg");
}

TEST(retparm, EmptyAndMissingFieldsAreEmpty) {
    EXPECT_EQ(retparm("a//b", 2, "/"), "");
    EXPECT_EQ(retparm("a//b", 3, "/"), "b");
    EXPECT_EQ(retparm("/a", 1, "/"), "");
    EXPECT_EQ(retparm("a/", 2, "/"), "");
    EXPECT_EQ(retparm("a/b", 0, "/"), "");
    EXPECT_EQ(retparm("a/b", -1, "/"), "");
    EXPECT_EQ(retparm("", 1, "/"), "");
}

TEST(retparm, FindsFieldsFarIntoLongTexts) {
    std::string text;
    for (int i = 0; i < 40000; ++i) text += std::to_string(i) + ">";
    EXPECT_EQ(retparm(text, 39999, ">"), "39998");
    EXPECT_EQ(retparm(text, 40001, ">"), "");
}

TEST(retlast, ReturnsTheLastField) {
    EXPECT_EQ(retlast("http://host/dir/file.jpg", "/"), "file.jpg");
    EXPECT_EQ(retlast("a/b/", "/"), "b");
    EXPECT_EQ(retlast("a/b//", "/"), "b");
    EXPECT_EQ(retlast("file.jpg", "/"), "file.jpg");
    EXPECT_EQ(retlast("", "/"), "");
}

TEST(retlast, ThreeDelimitersInARowEndTheSearch) {
    EXPECT_EQ(retlast("a///b", "/"), "a");
    // A single empty field (after the scheme) is passed over.
    EXPECT_EQ(retlast("http://host", "/"), "host");
}

TEST(InStr, FindsFirstPositionWithOptionalCaseFolding) {
    EXPECT_EQ(InStr("http://www.FLICKR.com/x", "flickr.com"), 0u);
    EXPECT_EQ(InStr("http://www.FLICKR.com/x", "flickr.com", true), 12u);
    EXPECT_EQ(InStr("abcabc", "c"), 3u);
    EXPECT_EQ(InStr("abc", "abcd", true), 0u);
}

TEST(TrimBlanks, RemovesSpacesAndLineBreaksAtTheEnds) {
    EXPECT_EQ(TrimBlanks("  a b  "), "a b");
    EXPECT_EQ(TrimBlanks("\ta\t"), "\ta\t");
    EXPECT_EQ(TrimBlanks("    "), "");
    EXPECT_EQ(TrimBlanks("\r\n a\r\nb \n\r\n"), "a\r\nb");
}

}  // namespace
}  // namespace gathrix
