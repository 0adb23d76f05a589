#include "text/strings.h"

#include <gtest/gtest.h>

#include <string>

namespace gathrix {
namespace {

TEST(ReplaceAll, ReplacesEveryOccurrenceLeftToRightWithoutOverlap) {
    EXPECT_EQ(ReplaceAll("a_s.b_s.jpg", "_s.", "_o."), "a_o.b_o.jpg");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
    // Inserted text is never searched again.
    EXPECT_EQ(ReplaceAll("ab", "a", "aa"), "aab");
    EXPECT_EQ(ReplaceAll("xax", "a", "ba"), "xbax");
}

TEST(ReplaceAll, RemovesQuotesAndRespectsCase) {
    EXPECT_EQ(ReplaceAll(":\"http://h/p.jpg\"", "\"", ""), ":http://h/p.jpg");
    EXPECT_EQ(ReplaceAll("ABC", "b", "x"), "ABC");
}

TEST(ReplaceAll, DegenerateArgumentsLeaveTheTextAlone) {
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
    EXPECT_EQ(ReplaceAll("abc", "b", "b"), "abc");
    EXPECT_EQ(ReplaceAll("", "b", "x"), "");
    EXPECT_EQ(ReplaceAll("bbb", "b", ""), "");
}

TEST(ReplaceAll, WorksBeyondSixteenBitLengths) {
    std::string big(100000, 'x');
    big[70000] = 'y';
    const std::string out = ReplaceAll(big, "y", "zz");
    EXPECT_EQ(out.size(), 100001u);
    EXPECT_EQ(out.substr(70000, 2), "zz");
}

TEST(Field, PicksNumberedFields) {
    EXPECT_EQ(Field("a/b", 1, "/"), "a");
    EXPECT_EQ(Field("a/b", 2, "/"), "b");
    EXPECT_EQ(Field("a/b", 3, "/"), "");
    EXPECT_EQ(Field("abc", 1, "?"), "abc");
    EXPECT_EQ(Field("a/b/c", 2, "/"), "b");
    EXPECT_EQ(Field("ab//c", 3, "/"), "c");
    EXPECT_EQ(Field("x'http://h/a.jpg'y", 2, "'"), "http://h/a.jpg");
}

TEST(Field, EmptyAndMissingFieldsAreEmpty) {
    EXPECT_EQ(Field("a//b", 2, "/"), "");
    EXPECT_EQ(Field("a//b", 3, "/"), "b");
    EXPECT_EQ(Field("/a", 1, "/"), "");
    EXPECT_EQ(Field("a/", 2, "/"), "");
    EXPECT_EQ(Field("a/b", 0, "/"), "");
    EXPECT_EQ(Field("a/b", -1, "/"), "");
    EXPECT_EQ(Field("", 1, "/"), "");
}

TEST(Field, FindsFieldsFarIntoLongTexts) {
    std::string text;
    for (int i = 0; i < 40000; ++i) text += std::to_string(i) + ">";
    EXPECT_EQ(Field(text, 39999, ">"), "39998");
    EXPECT_EQ(Field(text, 40001, ">"), "");
}

TEST(LastField, ReturnsTheLastField) {
    EXPECT_EQ(LastField("http://host/dir/file.jpg", "/"), "file.jpg");
    EXPECT_EQ(LastField("a/b/", "/"), "b");
    EXPECT_EQ(LastField("a/b//", "/"), "b");
    EXPECT_EQ(LastField("file.jpg", "/"), "file.jpg");
    EXPECT_EQ(LastField("", "/"), "");
}

TEST(LastField, ThreeDelimitersInARowEndTheSearch) {
    EXPECT_EQ(LastField("a///b", "/"), "a");
    // A single empty field (after the scheme) is passed over.
    EXPECT_EQ(LastField("http://host", "/"), "host");
}

TEST(Find, FindsFirstPositionWithOptionalCaseFolding) {
    EXPECT_EQ(Find("http://www.FLICKR.com/x", "flickr.com"), std::string_view::npos);
    EXPECT_EQ(Find("http://www.FLICKR.com/x", "flickr.com", true), 11u);
    EXPECT_EQ(Find("abcabc", "c"), 2u);
    EXPECT_EQ(Find("abc", "abcd", true), std::string_view::npos);
}

TEST(TrimBlanks, RemovesSpacesAndLineBreaksAtTheEnds) {
    EXPECT_EQ(TrimBlanks("  a b  "), "a b");
    EXPECT_EQ(TrimBlanks("\ta\t"), "\ta\t");
    EXPECT_EQ(TrimBlanks("    "), "");
    EXPECT_EQ(TrimBlanks("\r\n a\r\nb \n\r\n"), "a\r\nb");
}

}  // namespace
}  // namespace gathrix
