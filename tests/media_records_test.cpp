// The fixed byte layouts of the tape, feed and form records, the table lookups and the form
// tables read from the driver-private area.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/media.h"
#include "media_fixture.h"
#include "standins/infosim.h"

namespace {

using mediatest::Put16;
using mediatest::Put32;

TEST(MediaRecords, TapeAndFeedRecordsRoundTripByteForByte) {
    infosim::Tape t;
    t.code = 0x1234;
    t.widthTenths = 620;
    t.lengthTenths = -2;
    t.widthDots = 732;
    t.lengthDots = 1181;
    t.sideMargin = 12;
    t.endMargin = 35;
    t.name = "62mm";
    t.name2 = "Continuous";
    t.flags = 0x80000090;
    t.base = 0x0102;
    t.tapeClass = 3;
    std::vector<uint8_t> bytes = infosim::TapeRecord(t);
    // Library-defined bytes are kept as they stand.
    bytes[10] = 0xA1;
    bytes[121] = 0xB2;
    bytes[123] = 0xC3;
    for (size_t i = 131; i < 138; ++i) bytes[i] = uint8_t(0xD0 + i);

    _TAPELIST tape;
    ASSERT_TRUE(media::ReadTape(bytes.data(), bytes.size(), tape));
    EXPECT_EQ(tape.wPaperCode, 0x1234);
    EXPECT_EQ(tape.nLengthDots, 1181);
    EXPECT_EQ(tape.nLengthTenths, -2);
    EXPECT_EQ(tape.nEndMargin, 35);
    EXPECT_EQ(tape.nPrintableLength, 1181 - 70);
    EXPECT_STREQ(tape.szName, "62mm");
    EXPECT_STREQ(tape.szName2, "Continuous");
    EXPECT_EQ(tape.nWidthDots, 732);
    EXPECT_EQ(tape.nWidthTenths, 620);
    EXPECT_EQ(tape.nSideMargin, 12);
    EXPECT_EQ(tape.nPrintableWidth, 732 - 24);
    EXPECT_EQ(tape.dwTapeFlags, 0x80000090u);
    EXPECT_EQ(tape.wBasePaperCode, 0x0102);
    EXPECT_EQ(tape.nTapeClass, 3);

    std::vector<uint8_t> written(media::kTapeSize, 0xEE);
    ASSERT_TRUE(media::WriteTape(tape, written.data(), written.size()));
    EXPECT_EQ(written, bytes);
    // A buffer one byte short is neither read nor written.
    _TAPELIST untouched;
    EXPECT_FALSE(media::ReadTape(bytes.data(), media::kTapeSize - 1, untouched));
    EXPECT_EQ(untouched.wPaperCode, 0);
    EXPECT_FALSE(media::WriteTape(tape, written.data(), media::kTapeSize - 1));

    std::vector<uint8_t> feedBytes = infosim::FeedRecord(infosim::Feed{7, -300});
    feedBytes[102] = 0x5A;
    _FEED feed;
    ASSERT_TRUE(media::ReadFeed(feedBytes.data(), feedBytes.size(), feed));
    EXPECT_EQ(feed.nKey, 7);
    EXPECT_EQ(feed.nMargin, -300);
    std::vector<uint8_t> feedOut(media::kFeedSize, 0);
    ASSERT_TRUE(media::WriteFeed(feed, feedOut.data(), feedOut.size()));
    EXPECT_EQ(feedOut, feedBytes);
    EXPECT_FALSE(media::ReadFeed(feedBytes.data(), media::kFeedSize - 1, feed));
}

TEST(MediaRecords, FormRecordKeepsItsOffsetsAndZeroTail) {
    _FORM form;
    form.wFormCode = 306;
    std::memcpy(form.szName, "Address", 8);
    std::memset(form.szName2, 'N', sizeof form.szName2);  // 64 characters, no terminator
    form.wPaperCode = 257;
    form.nLengthDots = -5;
    form.nWidthDots = 342;
    form.nValue136 = 0x1111;
    form.nValue138 = 0x2222;
    form.nTapeClass = 2;
    form.nValue142 = 0x3333;
    std::vector<uint8_t> bytes(media::kFormSize, 0xFF);
    ASSERT_TRUE(media::WriteForm(form, bytes.data(), bytes.size()));
    EXPECT_EQ(bytes[0], 0x32);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(bytes[130], 0x01);
    EXPECT_EQ(bytes[131], 0x01);
    EXPECT_EQ(bytes[142], 0x33);
    for (size_t i = 144; i < 150; ++i) EXPECT_EQ(bytes[i], 0) << i;

    _FORM back;
    ASSERT_TRUE(media::ReadForm(bytes.data(), bytes.size(), back));
    EXPECT_STREQ(back.szName, "Address");
    EXPECT_EQ(std::string(back.szName2, 64), std::string(64, 'N'));
    EXPECT_EQ(back.nLengthDots, -5);
    EXPECT_EQ(back.nTapeClass, 2);
    EXPECT_EQ(back.nValue142, 0x3333);
    // A buffer one byte short is neither read nor written.
    EXPECT_FALSE(media::ReadForm(bytes.data(), media::kFormUsed - 1, back));
    EXPECT_FALSE(media::WriteForm(form, bytes.data(), media::kFormSize - 1));
}

std::vector<_TAPELIST> Tapes(std::initializer_list<std::vector<int>> rows) {
    // code, base, class, width dots
    std::vector<_TAPELIST> tapes;
    for (const auto& r : rows) {
        _TAPELIST t;
        t.wPaperCode = uint16_t(r[0]);
        t.wBasePaperCode = uint16_t(r[1]);
        t.nTapeClass = uint8_t(r[2]);
        t.nWidthDots = int16_t(r[3]);
        tapes.push_back(t);
    }
    return tapes;
}

TEST(MediaRecords, LookupsAnswerTheAllZeroRecordWhenNothingFits) {
    std::vector<_FEED> feeds(3);
    feeds[0].nKey = 0;
    feeds[1].nKey = 10;
    feeds[2].nKey = 20;
    feeds[1].nMargin = 11;
    feeds[2].nMargin = 22;
    EXPECT_EQ(&media::FindFeed(feeds, 15), &feeds[1]);
    EXPECT_EQ(&media::FindFeed(feeds, 25), &feeds[2]);
    EXPECT_EQ(&media::FindFeed(feeds, 10), &feeds[1]);
    feeds[0].nKey = 5;
    EXPECT_EQ(&media::FindFeed(feeds, 4), &media::ZeroFeed());
    EXPECT_EQ(&media::FindFeed({}, 4), &media::ZeroFeed());

    auto tapes =
        Tapes({{256, 256, 1, 100}, {300, 256, 2, 200}, {301, 400, 1, 300}, {400, 400, 1, 400}});
    EXPECT_EQ(&media::FindTape(tapes, 300), &tapes[1]);
    EXPECT_EQ(&media::FindTape(tapes, 999), &media::ZeroTape());
    // An unknown code answers the first tape; a base code naming another tape follows it.
    EXPECT_EQ(&media::FindTapeOrBase(tapes, 999), &tapes[0]);
    EXPECT_EQ(&media::FindTapeOrBase(tapes, 301), &tapes[3]);
    EXPECT_EQ(&media::FindTapeOrBase(tapes, 300), &tapes[0]);
    EXPECT_EQ(&media::FindTapeByBase(tapes, 256, 2), &tapes[1]);
    EXPECT_EQ(&media::FindTapeByBase(tapes, 256, 2 + 256), &tapes[0]);
    EXPECT_EQ(&media::FindTapeByBase(tapes, 400, 1), &tapes[2]);
    // Empty tables have no first tape.
    EXPECT_EQ(&media::FindTapeOrBase({}, 1), &media::ZeroTape());
    EXPECT_EQ(&media::FindTapeByBase({}, 1, 1), &media::ZeroTape());
    EXPECT_EQ(&media::FindForm({}, 306), &media::ZeroForm());
    EXPECT_EQ(media::ZeroTape().wPaperCode, 0);
    EXPECT_EQ(media::ZeroTape().dwTapeFlags, 0u);
}

// A new-layout private area with `count` form records, `bytes` long.
std::vector<uint8_t> NewLayoutArea(uint16_t tag, uint16_t count, size_t bytes) {
    std::vector<uint8_t> priv(bytes, 0);
    Put16(priv, 0, tag);
    Put16(priv, 14, count);
    for (size_t i = 0; i < count; ++i) {
        size_t at = 30 + i * 150;
        if (at + 150 > bytes) break;
        Put16(priv, at, int(1000 + i));
        std::string name = "Form " + std::to_string(i);
        std::memcpy(&priv[at + 2], name.c_str(), name.size());
        Put16(priv, at + 130, 256);  // base paper code of the tape
        Put16(priv, at + 132, 500);
        Put16(priv, at + 134, i == 1 ? 77 : 0);
        Put16(priv, at + 140, i == 2 ? 2 : 0);
        Put16(priv, at + 142, 0x4242);
        priv[at + 145] = 0x99;  // beyond what a form uses
    }
    return priv;
}

TEST(MediaRecords, NewLayoutFormsStopBelowOffset3000AndInsideTheArea) {
    auto tapes = Tapes({{256, 256, 1, 100}, {290, 256, 2, 250}});
    std::vector<uint8_t> priv = NewLayoutArea(4530, 30, 4530);
    ASSERT_TRUE(media::PrivateAreaValid(priv.data(), priv.size()));
    std::vector<_FORM> forms;
    ASSERT_TRUE(media::ReadNewLayoutForms(priv.data(), priv.size(), tapes, forms));
    ASSERT_EQ(forms.size(), 30u);
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(forms[i].wFormCode, 1000 + i);
        EXPECT_EQ(forms[i].nValue142, 0x4242);
    }
    EXPECT_STREQ(forms[19].szName, "Form 19");
    for (size_t i = 20; i < 30; ++i) EXPECT_EQ(forms[i].wFormCode, 0) << i;
    // Class 0 becomes 1; the paper code is that of the tape of the base code and class; a width
    // of 0 is taken from that tape.
    EXPECT_EQ(forms[0].nTapeClass, 1);
    EXPECT_EQ(forms[0].wPaperCode, 256);
    EXPECT_EQ(forms[0].nWidthDots, 100);
    EXPECT_EQ(forms[1].nWidthDots, 77);
    EXPECT_EQ(forms[2].wPaperCode, 290);
    EXPECT_EQ(forms[2].nWidthDots, 250);

    // The tag 30 + 150 x count is valid too; records beyond the area are not read.
    std::vector<uint8_t> shortArea = NewLayoutArea(30 + 150 * 5, 5, 30 + 150 * 3 + 100);
    ASSERT_TRUE(media::ReadNewLayoutForms(shortArea.data(), shortArea.size(), tapes, forms));
    ASSERT_EQ(forms.size(), 5u);
    EXPECT_EQ(forms[2].wFormCode, 1002);
    EXPECT_EQ(forms[3].wFormCode, 0);
    EXPECT_EQ(forms[4].wFormCode, 0);
    // An area ending a few bytes into the next record's place is read no further.
    std::vector<uint8_t> full = NewLayoutArea(30 + 150 * 5, 5, 30 + 150 * 5);
    ASSERT_TRUE(media::ReadNewLayoutForms(full.data(), 30 + 150 * 2 + 146, tapes, forms));
    EXPECT_EQ(forms[2].wFormCode, 1002);
    EXPECT_EQ(forms[3].wFormCode, 0);

    // An invalid tag leaves the table as it was; so does an area too short for the tag.
    std::vector<uint8_t> bad = NewLayoutArea(4000, 5, 1000);
    EXPECT_FALSE(media::PrivateAreaValid(bad.data(), bad.size()));
    EXPECT_FALSE(media::ReadNewLayoutForms(bad.data(), bad.size(), tapes, forms));
    EXPECT_EQ(forms.size(), 5u);
    EXPECT_FALSE(media::PrivateAreaValid(priv.data(), 8));
    EXPECT_FALSE(media::PrivateAreaValid(nullptr, 0));
}

TEST(MediaRecords, OldLayoutFormsIndexTheTapeTable) {
    auto tapes = Tapes({{300, 300, 1, 100}, {301, 301, 1, 110}, {302, 302, 1, 120}});
    std::vector<uint8_t> priv(112 + 73 * 4, 0);
    priv[109] = 4;
    const int codes[] = {302, 299, 303, 300};
    for (size_t i = 0; i < 4; ++i) {
        size_t at = 112 + i * 73;
        std::string name = "Old " + std::to_string(i);
        std::memcpy(&priv[at], name.c_str(), name.size());
        Put16(priv, at + 64, codes[i]);
        Put16(priv, at + 66, int(600 + i));
        priv[at + 68] = 0x7F;
        Put16(priv, at + 69, 0x1234);
    }
    std::vector<_FORM> forms;
    media::ReadOldLayoutForms(priv.data(), priv.size(), tapes, forms);
    ASSERT_EQ(forms.size(), 4u);
    EXPECT_EQ(forms[0].wFormCode, 306);
    EXPECT_EQ(forms[3].wFormCode, 309);
    EXPECT_STREQ(forms[1].szName, "Old 1");
    EXPECT_STREQ(forms[1].szName2, "Old 1");
    EXPECT_EQ(forms[0].nWidthDots, 120);
    // Codes below the first tape's or past the table's end leave the width 0.
    EXPECT_EQ(forms[1].nWidthDots, 0);
    EXPECT_EQ(forms[2].nWidthDots, 0);
    EXPECT_EQ(forms[3].nWidthDots, 100);
    EXPECT_EQ(forms[0].nLengthDots, 600);
    EXPECT_EQ(forms[0].nValue136, 0x7F);
    EXPECT_EQ(forms[0].nValue138, 0x1234);
    EXPECT_EQ(forms[0].nTapeClass, 1);

    // A count announcing more records than the area holds reads only the whole ones; an
    // empty tape table gives widths of 0.
    priv[109] = 9;
    media::ReadOldLayoutForms(priv.data(), priv.size() - 1, {}, forms);
    ASSERT_EQ(forms.size(), 9u);
    EXPECT_EQ(forms[2].wFormCode, 308);
    EXPECT_EQ(forms[3].wFormCode, 0);
    EXPECT_EQ(forms[0].nWidthDots, 0);
    // An area ending between the count and the first record gives none.
    media::ReadOldLayoutForms(priv.data(), 110, tapes, forms);
    ASSERT_EQ(forms.size(), 9u);
    EXPECT_EQ(forms[0].wFormCode, 0);
}

TEST(MediaRecords, TapeMarginsAndPaperNames) {
    _MEDIAEXTENT extent;
    media::TapeMargins({}, extent);
    EXPECT_EQ(extent.nMargin1, 0xFFFF);
    EXPECT_EQ(extent.nMargin2, 0xFFFF);
    EXPECT_EQ(extent.nMargin3, 0xFFFF);
    EXPECT_EQ(extent.nMargin4, 0xFFFF);

    std::vector<_TAPELIST> tapes(2);
    tapes[0].nSideMargin = 20;
    tapes[0].nEndMargin = 30;
    tapes[0].nLengthDots = 1000;
    tapes[0].nPrintableLength = 900;  // 1000 - 900 - 30 = 70
    tapes[1].nSideMargin = 15;
    tapes[1].nEndMargin = 40;
    tapes[1].nLengthDots = 500;
    tapes[1].nPrintableLength = 450;  // 10
    media::TapeMargins(tapes, extent);
    EXPECT_EQ(extent.nMargin1, 15);
    EXPECT_EQ(extent.nMargin2, 30);
    EXPECT_EQ(extent.nMargin3, 15);
    EXPECT_EQ(extent.nMargin4, 10);

    _TAPELIST t;
    media::SetTapeNames(t, "A|B|C", 64, true);
    EXPECT_STREQ(t.szName, "A|B");
    EXPECT_STREQ(t.szName2, "C");
    media::SetTapeNames(t, "A|B", 64, false);
    EXPECT_STREQ(t.szName, "A|B");
    EXPECT_STREQ(t.szName2, "A|B");
    media::SetTapeNames(t, "Plain", 64, true);
    EXPECT_STREQ(t.szName2, "Plain");
    std::string sixty(60, 'x');
    media::SetTapeNames(t, sixty.c_str(), 64, true);
    EXPECT_EQ(std::string(t.szName), std::string(49, 'x'));
    // The part after a '|' ends at the same 49-byte cut.
    std::string split = "AB|" + std::string(60, 'c');
    media::SetTapeNames(t, split.c_str(), 64, true);
    EXPECT_STREQ(t.szName, "AB");
    EXPECT_EQ(std::string(t.szName2), std::string(46, 'c'));
    // A 64-byte slot without a terminator is read no further than its 64 bytes.
    char slot[64 + 8];
    std::memset(slot, 'y', sizeof slot);
    media::SetTapeNames(t, slot, 64, false);
    EXPECT_EQ(std::string(t.szName), std::string(49, 'y'));
}

// Paper names in code page 932 are cut and split on whole characters: a trail byte equal to '|'
// is part of its character, and the 49-byte cut does not leave half a character behind.
TEST(MediaRecordsJapanese, PaperNamesAreCutAndSplitOnWholeCharacters) {
    sim::MachineOptions options;
    options.language = sim::Language::Japanese;
    sim::Machine machine(options);
    _TAPELIST t;
    // "\x83\x7C" is one character whose trail byte is the code of '|'.
    const char* polyester = "\x83\x7C\x83\x8A";
    media::SetTapeNames(t, polyester, 64, true);
    EXPECT_STREQ(t.szName, polyester);
    EXPECT_STREQ(t.szName2, polyester);
    media::SetTapeNames(t,
                        "\x83\x7C\x83\x8A|\x83\x7C"
                        "A",
                        64, true);
    EXPECT_STREQ(t.szName, polyester);
    EXPECT_STREQ(t.szName2,
                 "\x83\x7C"
                 "A");

    // Thirty double-byte characters (60 bytes): the cut keeps 24 whole ones, 48 bytes.
    std::string wide;
    for (int i = 0; i < 30; ++i) wide += "\x83\x8A";
    media::SetTapeNames(t, wide.c_str(), 64, false);
    EXPECT_EQ(std::string(t.szName), wide.substr(0, 48));
    EXPECT_EQ(std::string(t.szName2), wide.substr(0, 48));
    // One single-byte character first: 49 bytes are whole characters and are all kept.
    media::SetTapeNames(t, ("A" + wide).c_str(), 64, true);
    EXPECT_EQ(std::string(t.szName), "A" + wide.substr(0, 48));
}

}  // namespace
