#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace gathrix {
namespace {

TEST(EscapeForTerminal, ControlsAndStrayBytesBecomeHexPrintableUtf8Stays) {
    // ASCII, 2-, 3- and 4-byte characters, the highest code point, U+FFFF.
    const std::string printable =
        "IMG_1.jpg ?&=% caf\xC3\xA9 \xC4\x9B \xE6\x97\xA5 \xF0\x9F\x93\xB7 \xF4\x8F\xBF\xBF\xEF\xBF\xBF";
    const std::vector<std::pair<std::string, std::string>> rows = {
        {printable, printable},
        {std::string("\0\r\n\t\x7F", 5), "\\x00\\x0D\\x0A\\x09\\x7F"},
        {"\x1B]0;owned\x07\x1B[2J", "\\x1B]0;owned\\x07\\x1B[2J"},
        {"\xC2\x9B"
         "1m \xC2\x80\xC2\x9F \xC2\xA0",
         "\\xC2\\x9B1m \\xC2\\x80\\xC2\\x9F \xC2\xA0"},  // NBSP is no control
        {"\x9B \xE9.jpg \xFF", "\\x9B \\xE9.jpg \\xFF"},
        {"\xC0\xAF \xE0\x80\xAF \xF0\x80\x80\xAF", "\\xC0\\xAF \\xE0\\x80\\xAF \\xF0\\x80\\x80\\xAF"},  // overlong
        {"\xED\xA0\x80 \xF4\x90\x80\x80", "\\xED\\xA0\\x80 \\xF4\\x90\\x80\\x80"},  // surrogate, above U+10FFFF
        {"\xE6\x97 \xF0\x9F\x93", "\\xE6\\x97 \\xF0\\x9F\\x93"},                    // cut short
    };
    for (const auto& [text, shown] : rows) EXPECT_EQ(EscapeForTerminal(text), shown) << shown;
}

}  // namespace
}  // namespace gathrix
