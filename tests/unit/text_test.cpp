// text_test.cpp - the bounded text helpers never write past a field.
#include "../../platform/text.h"
#include "../support/memory_platform.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

namespace {

const char kPoison = (char)0xCC;

// A field with poisoned guard bytes after it, to catch any overrun.
struct Field {
    char bytes[TEXT_FIELD_SIZE + 16];
    Field() { memset(bytes, kPoison, sizeof bytes); }
    bool GuardIntact() const
    {
        for (size_t i = TEXT_FIELD_SIZE; i < sizeof bytes; ++i)
            if (bytes[i] != kPoison)
                return false;
        return true;
    }
};

} // namespace

TEST(Text, CopyCutsAtTheFieldAndTerminates)
{
    const struct {
        size_t length;
        bool fits;
    } cases[] = {{0, true}, {258, true}, {259, true}, {260, false}, {261, false}, {4000, false}};
    for (const auto &c : cases) {
        Field field;
        std::string source(c.length, 'a');
        EXPECT_EQ(c.fits ? 1 : 0, TextCopy(field.bytes, TEXT_FIELD_SIZE, source.c_str()))
            << c.length;
        EXPECT_EQ(std::min<size_t>(c.length, 259), strlen(field.bytes)) << c.length;
        EXPECT_TRUE(field.GuardIntact()) << c.length;
    }
}

TEST(Text, CopyOfNullIsEmptyAndOverlapIsSafe)
{
    Field field;
    EXPECT_EQ(1, TextCopy(field.bytes, TEXT_FIELD_SIZE, nullptr));
    EXPECT_STREQ("", field.bytes);
    TextCopy(field.bytes, TEXT_FIELD_SIZE, "C:\\Tools\\agent.exe");
    TextCopy(field.bytes, TEXT_FIELD_SIZE, field.bytes + 3);
    EXPECT_STREQ("Tools\\agent.exe", field.bytes);
}

TEST(Text, AppendCutsAtTheField)
{
    Field field;
    TextCopy(field.bytes, TEXT_FIELD_SIZE, std::string(250, 'p').c_str());
    EXPECT_EQ(0, TextAppend(field.bytes, TEXT_FIELD_SIZE, "\\DisabledCUStartItems"));
    EXPECT_EQ(259u, strlen(field.bytes));
    EXPECT_EQ(std::string(250, 'p') + "\\Disabled", std::string(field.bytes));
    EXPECT_TRUE(field.GuardIntact());

    // An unterminated field is terminated in place, not read past.
    memset(field.bytes, 'u', TEXT_FIELD_SIZE);
    EXPECT_EQ(0, TextAppend(field.bytes, TEXT_FIELD_SIZE, "-"));
    EXPECT_EQ(259u, strlen(field.bytes));
    EXPECT_TRUE(field.GuardIntact());
}

TEST(Text, FormatCutsAtTheFieldAndSaysSo)
{
    Field field;
    EXPECT_EQ(1, TextFormat(field.bytes, TEXT_FIELD_SIZE, "%s\\%s", "C:\\Startup", "Agent.lnk"));
    EXPECT_STREQ("C:\\Startup\\Agent.lnk", field.bytes);
    std::string folder(255, 'f');
    EXPECT_EQ(0, TextFormat(field.bytes, TEXT_FIELD_SIZE, "%s\\%s", folder.c_str(), "Agent.lnk"));
    EXPECT_EQ(259u, strlen(field.bytes));
    EXPECT_TRUE(field.GuardIntact());
    EXPECT_EQ(1, TextFormat(field.bytes, 32, "\\StringFileInfo\\%04X%04X", 0x409, 0x4b0));
    EXPECT_STREQ("\\StringFileInfo\\040904B0", field.bytes);
}

TEST(Text, CompareNoCaseFoldsAsciiOnly)
{
    EXPECT_EQ(0, TextCompareNoCase("usr", "USR"));
    EXPECT_EQ(0, TextCompareNoCase("uSr", "USR"));
    EXPECT_NE(0, TextCompareNoCase("ALL", "USR"));
    EXPECT_NE(0, TextCompareNoCase("USR ", "USR"));
    EXPECT_NE(0, TextCompareNoCase("", "USR"));
    EXPECT_EQ(0, TextCompareNoCase(nullptr, ""));
    // Both ends of the alphabet and their neighbours, and letters above 127
    // as the registry folds them: a rename "M\xfcller" to "M\xdcLLER" is one name.
    EXPECT_EQ(0, TextCompareNoCase("az", "AZ"));
    EXPECT_NE(0, TextCompareNoCase("`", "@"));
    EXPECT_NE(0, TextCompareNoCase("{", "["));
    EXPECT_EQ(0, TextCompareNoCase("M\xfcller", "M\xdcLLER"));
    EXPECT_EQ(0, TextCompareNoCase("\xe0\xfe", "\xc0\xde"));
    EXPECT_NE(0, TextCompareNoCase("\xf7", "\xd7")) << "division and multiplication signs";
    EXPECT_LT(TextCompareNoCase("abc", "ABD"), 0);
}

TEST(Text, LengthInStopsAtTheFieldEnd)
{
    char field[8];
    memset(field, 'x', sizeof field);
    EXPECT_EQ(8u, TextLengthIn(field, sizeof field));
    field[3] = '\0';
    EXPECT_EQ(3u, TextLengthIn(field, sizeof field));
}

// A long path keeps its start and its end (the file name) and loses its
// middle, never a UTF-8 character's half; one that fits is kept whole.
TEST(Text, ShortenMiddleAtItsBoundaries)
{
    char out[16];
    memset(out, '#', sizeof out);
    TextShortenMiddle(out, sizeof out, "C:\\abcdefgh.reg", 15);
    EXPECT_STREQ("C:\\abcdefgh.reg", out) << "15 characters fit 15";
    TextShortenMiddle(out, sizeof out, "C:\\abcdefghi.reg", 15);
    EXPECT_STREQ("C:\\a...fghi.reg", out);
    TextShortenMiddle(out, 8, "C:\\abcdefghi.reg", 15);
    EXPECT_STREQ("C...reg", out) << "cut to the buffer, not past it";
    TextShortenMiddle(out, sizeof out, "\xc5\x81\xc5\x81\xc5\x81\xc5\x81\xc5\x81\xc5\x81.reg", 12);
    EXPECT_STREQ("\xc5\x81...\xc5\x81.reg", out) << "whole characters only";
}

// A text shown cut always ends with "...": exactly when it did not fit, or
// when its field had cut it before; never past the buffer, never inside a
// UTF-8 character.
TEST(Text, CopyShownMarksEveryCutAndNoOther)
{
    for (size_t length : {258u, 259u, 260u}) {
        Field field;
        std::string source(length, 'a');
        int whole = TextCopyShown(field.bytes, TEXT_FIELD_SIZE, source.c_str(), 0);
        EXPECT_EQ(length < TEXT_FIELD_SIZE ? 1 : 0, whole) << length;
        EXPECT_EQ(length < TEXT_FIELD_SIZE ? source : std::string(256, 'a') + "...",
                  std::string(field.bytes))
            << length;
        EXPECT_TRUE(field.GuardIntact()) << length;
    }
    char out[8];
    EXPECT_EQ(0, TextCopyShown(out, sizeof out, "abc", 1));
    EXPECT_STREQ("abc...", out) << "cut before: marked though it fits";
    EXPECT_EQ(0, TextCopyShown(out, sizeof out, "abcd", 1));
    EXPECT_STREQ("abcd...", out);
    EXPECT_EQ(0, TextCopyShown(out, sizeof out, "abcde", 1));
    EXPECT_STREQ("abcd...", out);
    MemSetCodePageUtf8(true);
    TextCopyShown(out, sizeof out, "abc\xc5\x81\xc5\x81x", 0);
    EXPECT_STREQ("abc...", out) << "whole characters only";
    TextCopyShown(out, sizeof out, "a\xe2\x82", 1);
    EXPECT_STREQ("a...", out) << "a character the field cut goes too";
    MemSetCodePageUtf8(false);
}

// Control characters and, under UTF-8, the C1 controls, the directional
// marks, overrides and isolates and the line and paragraph separators show
// as escapes (their neighbours U+202F, U+2065, U+206A, U+200D, U+00A0 and
// U+061D do not); "\" stays; a cut falls between escapes and characters,
// never inside one, within the field, always with "...".
TEST(Text, CopyVisibleEscapesWhatCouldDeceiveAndCutsBetweenCharacters)
{
    Field field;
    MemSetCodePageUtf8(true);
    const char *text = "a\x08\x1f\x7f" "C:\\b\xE2\x80\xAA\xE2\x80\xAE\xE2\x81\xA6"
                       "\xE2\x81\xA9\xE2\x80\xA9\xE2\x80\xA8\xE2\x80\x8E\xE2\x80\x8F"
                       "\xD8\x9C\xC2\x85\xC2\x9F"
                       "\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA\xE2\x80\x8D\xC2\xA0\xD8\x9D";
    EXPECT_EQ(1, TextCopyVisible(field.bytes, TEXT_FIELD_SIZE, text, 0));
    EXPECT_STREQ("a\\x08\\x1F\\x7FC:\\b\\u202A\\u202E\\u2066\\u2069\\u2029\\u2028\\u200E"
                 "\\u200F\\u061C\\u0085\\u009F"
                 "\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA\xE2\x80\x8D\xC2\xA0\xD8\x9D",
                 field.bytes);
    // Characters that take no room: a name cannot pass for another with them.
    EXPECT_EQ(1, TextCopyVisible(field.bytes, TEXT_FIELD_SIZE,
                                 "ctf\xE2\x80\x8Bmon\xC2\xAD\xEF\xBB\xBF\xF3\xA0\x80\xA1\xE2\x81\xA0", 0));
    EXPECT_STREQ("ctf\\u200Bmon\\u00AD\\uFEFF\\U000E0021\\u2060", field.bytes);
    char out[12];
    EXPECT_EQ(0, TextCopyVisible(out, sizeof out, "x\x01\x02\x7f", 0)) << "13 bytes in 11";
    EXPECT_STREQ("x\\x01...", out) << "\\x02 would end at 9, after the mark's room";
    EXPECT_EQ(1, TextCopyVisible(out, sizeof out, "\x01\x02" "abc", 0)) << "11 bytes fit";
    EXPECT_STREQ("\\x01\\x02abc", out);
    EXPECT_EQ(0, TextCopyVisible(out, sizeof out, "ab\xE2\x80\xAE" "cdef", 0));
    EXPECT_STREQ("ab\\u202E...", out);
    EXPECT_EQ(0, TextCopyVisible(out, sizeof out, "abcdef\xE4\xB8\xAD\x01", 0));
    EXPECT_STREQ("abcdef...", out) << "never half a character";
    EXPECT_EQ(0, TextCopyVisible(out, sizeof out, "a\x01\xe2\x82", 1));
    EXPECT_STREQ("a\\x01...", out) << "a character the field cut goes too";
    EXPECT_EQ(0, TextCopyVisible(out, 3, "\x01", 0));
    EXPECT_STREQ("", out) << "no room for the escape: nothing of it";
    MemSetCodePageUtf8(false);
    TextCopyVisible(out, sizeof out, "\xE2\x80\xAE\x09", 0);
    EXPECT_STREQ("\xE2\x80\xAE\\x09", out) << "not a bidirectional character in code page 1252";
    std::string many(300, '\x08');
    Field cut;
    EXPECT_EQ(0, TextCopyVisible(cut.bytes, TEXT_FIELD_SIZE, many.c_str(), 0));
    std::string escapes;
    for (int i = 0; i < 64; ++i)
        escapes += "\\x08";
    EXPECT_EQ(escapes + "...", std::string(cut.bytes)) << "64 whole escapes in 256 bytes";
    EXPECT_TRUE(cut.GuardIntact());
}
