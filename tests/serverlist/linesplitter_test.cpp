#include "serverlist/linesplitter.h"

#include <gtest/gtest.h>

using velmora::serverlist::splitServerLines;
using Lines = std::vector<std::string>;

namespace {
Lines split(const std::string& text) {
    return splitServerLines(text);
}
} // namespace

TEST(LineEnds, CrLfLfAndCrEachEndOneLine) {
    const Lines expected = {"\\\\a\\x", "\\\\b\\y"};
    EXPECT_EQ(split("\\\\a\\x\r\n\\\\b\\y\r\n"), expected);
    EXPECT_EQ(split("\\\\a\\x\n\\\\b\\y\n"), expected);
    EXPECT_EQ(split("\\\\a\\x\r\\\\b\\y\r"), expected);
    EXPECT_EQ(split("\\\\a\\x\r\\\\b\\y\n"), expected);
}

TEST(LineEnds, LfCrIsTwoEndsWithAnEmptyLineBetween) {
    EXPECT_EQ(split("a\n\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(split("a\r\n\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(split("a\r\r\nb"), (Lines{"a", "", "b"}));
}

TEST(LineEnds, FinalLineEndStartsNoFurtherLine) {
    EXPECT_EQ(split("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(split("a\r\nb"), (Lines{"a", "b"}));
    // One more line end at the end is an empty line of its own.
    EXPECT_EQ(split("a\r\nb\r\n\r\n"), (Lines{"a", "b", ""}));
    EXPECT_EQ(split("\n"), (Lines{""}));
    EXPECT_EQ(split("\r\n"), (Lines{""}));
}

TEST(LineEnds, EmptyTextHasNoLines) {
    EXPECT_TRUE(split("").empty());
}

TEST(LineContent, NothingIsTrimmedOrSkipped) {
    EXPECT_EQ(split("  \\\\a\\x \t\r\n   \r\n\r\nb"), (Lines{"  \\\\a\\x \t", "   ", "", "b"}));
    EXPECT_EQ(split("# not a comment\n;x"), (Lines{"# not a comment", ";x"}));
}

TEST(LineContent, NulEndsTheText) {
    EXPECT_EQ(split(std::string("a\r\nb\0c\r\nd", 10)), (Lines{"a", "b"}));
    EXPECT_EQ(split(std::string("\0a", 2)), Lines{});
    EXPECT_EQ(split(std::string("a\n\0", 3)), (Lines{"a"}));
}

TEST(LineContent, BytesStayAsTheyAre) {
    // A UTF-8 byte-order mark stays at the start of the first caption.
    EXPECT_EQ(split("\xEF\xBB\xBF\\\\a\\x\r\n"), (Lines{"\xEF\xBB\xBF\\\\a\\x"}));
    // Code page 1250 bytes (not valid UTF-8) are kept byte for byte.
    EXPECT_EQ(split("\\\\srv\\Ni\x9a\r\n\\\\\xe8"), (Lines{"\\\\srv\\Ni\x9a", "\\\\\xe8"}));
}

#include "serverlist/systemtext.h"

using velmora::serverlist::decodeText;

TEST(CaptionDisplay, DecodesInTheSystemCharacterSet) {
    // "Niš" and "Čačak" as code page 1250 / ISO 8859-2 bytes and as UTF-8.
    EXPECT_EQ(decodeText("\\\\srv\\Ni\x9a", "windows-1250"), QStringLiteral("\\\\srv\\Niš"));
    EXPECT_EQ(decodeText("\xc8"
                         "a\xe8"
                         "ak",
                         "ISO-8859-2"),
              QStringLiteral("Čačak"));
    EXPECT_EQ(decodeText("Ča\xc4\x8d"
                         "ak",
                         "UTF-8"),
              QStringLiteral("Čačak"));
    // The C locale's ASCII is read as UTF-8 rather than losing every letter.
    EXPECT_EQ(decodeText("Ni\xc5\xa1", "ANSI_X3.4-1968"), QStringLiteral("Niš"));
    // An unknown character set falls back to UTF-8.
    EXPECT_EQ(decodeText("Ni\xc5\xa1", "no-such-charset"), QStringLiteral("Niš"));
}
