#include "app/terminalSafe.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace bramblewisp {
namespace {

TEST(TerminalSafeTest, EscapesWhatATerminalWouldActOn) {
    const std::pair<std::string, std::string> cases[] = {
        {"-tpye", "-tpye"},
        {"", ""},
        {"C:\\Program Files\\x", "C:\\Program Files\\x"},
        {"-x\n  saving... failed", "-x\\n  saving... failed"},
        {"-a\x1b]0;x\a", "-a\\x1b]0;x\\x07"},
        {"\t\r\x7f", "\\t\\r\\x7f"},
        {std::string("a\0b", 3), "a\\x00b"},
        // UTF-8 stays, two to four bytes long.
        {"-a\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8c\xbf", "-a\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8c\xbf"},
        // C1 controls, bidirectional controls, separators.
        {"\xc2\x9b"
         "2J",
         "\\u009b2J"},
        {"x\xe2\x80\xaey \xe2\x81\xa6 \xd8\x9c \xe2\x80\x8f", "x\\u202ey \\u2066 \\u061c \\u200f"},
        {"\xe2\x80\xa8\xe2\x80\xa9", "\\u2028\\u2029"},
        // Not UTF-8: stray, cut short, overlong, a surrogate, past U+10FFFF.
        {"\xff\xfe", "\\xff\\xfe"},
        {"\x80"
         "a",
         "\\x80a"},
        {"a\xe2\x82", "a\\xe2\\x82"},
        {"\xc0\xaf\xe0\x80\xaf", "\\xc0\\xaf\\xe0\\x80\\xaf"},
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"\xe2\x82"
         "a",
         "\\xe2\\x82a"},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(terminalSafe(text), shown) << "case " << shown;
        // Escaping what is escaped changes nothing.
        EXPECT_EQ(terminalSafe(shown), shown);
    }
}

} // namespace
} // namespace bramblewisp
