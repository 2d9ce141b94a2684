// The image slots: which hold an image, the descriptor loaded from a
// header, and the descrambling of stored block bytes.
#include <doctest/doctest.h>
#include "image/ImageFixture.h"
#include "support/FormFixture.h"

namespace {

WORD Sum(const BYTE *bytes, DWORD length) {
    DWORD sum = 0;
    for (DWORD i = 0; i < length; ++i) sum += bytes[i];
    return static_cast<WORD>(sum);
}

}  // namespace

TEST_CASE("the carried slots both hold images whose headers describe their blocks") {
    TFormFixture f;
    f.Create();
    REQUIRE(FirmwareSlots == EmbeddedSlots);
    CHECK(Form1->CountImages() == 2);

    struct Expect { const BYTE *Slot; WORD Checksum, Length1; };
    const Expect expected[] = {{EmbeddedSlots, 0x6B8B, 0xAD30},
                               {EmbeddedSlots + SlotSize, 0x0631, 0xAD00}};
    for (int slot = 0; slot < 2; ++slot) {
        CAPTURE(slot);
        Form1->LoadDescriptor(slot);
        CHECK(CurrentImage == expected[slot].Slot);
        CHECK(Form1->ScrambleFlag == 0x20);
        CHECK(Form1->Checksum == expected[slot].Checksum);
        CHECK(Form1->BlockCount == 2);
        CHECK(Form1->BlockLength[0] == 0xFC90);
        CHECK(Form1->BlockLength[1] == expected[slot].Length1);
        for (int k = 2; k < 8; ++k) CHECK(Form1->BlockLength[k] == 0x2020);
        // The blocks really add up to the checksum the drive is told.
        const WORD sum = static_cast<WORD>(Sum(SlotBlock(CurrentImage, 0), 0xFC90) +
                                           Sum(SlotBlock(CurrentImage, 1), Form1->BlockLength[1]));
        CHECK(sum == Form1->Checksum);
        CHECK(SlotBlock(CurrentImage, 0)[0] == 0x02);
        CHECK(SlotBlock(CurrentImage, 1)[0] == 0x02);
    }
}

TEST_CASE("a slot holds an image only with its magic and at most eight blocks") {
    TFormFixture f;
    f.Create();
    struct Case { const char *What; int Slot; DWORD Offset; BYTE Value; int Images; };
    std::vector<Case> cases;
    const DWORD tested[] = {0, 1, 2, 3, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15};
    for (DWORD offset : tested) cases.push_back({"tested character of slot 0", 0, offset, '#', 0});
    cases.push_back({"the space at 4", 0, 4, '#', 2});
    cases.push_back({"the space at 9", 0, 9, 0x00, 2});
    cases.push_back({"tested character of slot 1", 1, 10, 's', 1});
    cases.push_back({"block count 8", 0, HeaderBlockCount, 8, 2});
    cases.push_back({"block count 9 in slot 0", 0, HeaderBlockCount, 9, 0});
    cases.push_back({"block count 9 in slot 1", 1, HeaderBlockCount, 9, 1});
    cases.push_back({"block count 0x0101", 1, HeaderBlockCount + 1, 1, 1});

    for (const Case &c : cases) {
        CAPTURE(c.What);
        CAPTURE(c.Offset);
        TSlotFixture slots;
        slots.Slot(c.Slot)[c.Offset] = c.Value;
        CHECK(Form1->CountImages() == c.Images);
    }
}

TEST_CASE("a slot 0 that holds no image is never loaded or identified") {
    // Slot 0 claims more blocks than it has room for, slot 1 is good.
    TSlotFixture slots;
    slots.SetWord(0, HeaderBlockCount, 9);
    slots.PutTemplate(0, 0x10, CarriedIdentification, 'D', '8');
    slots.PutTemplate(1, 0x10, CarriedIdentification, 'D', '8');
    CurrentImage = nullptr;
    TFormFixture f;
    f.Create();
    CHECK(CurrentImage == nullptr);
    CHECK(Form1->BlockCount == 0);
    CHECK(Form1->Checksum == 0);
    char text[64];
    CHECK(Form1->Edit1->GetText(text, sizeof text) == 0);
    CHECK(Form1->SelDevice->ItemCount() == 0);
}

TEST_CASE("Unscramble") {
    SUBCASE("the published vectors") {
        BYTE zeros[16] = {};
        const BYTE zerosOut[16] = {0x02, 0x3B, 0x74, 0xAD, 0xE6, 0x1F, 0x58, 0x91,
                                   0x46, 0x7F, 0xB8, 0xF1, 0x2A, 0x63, 0x9C, 0xD5};
        CHECK(Unscramble(zeros, 16, 1) == 1);
        CHECK(std::memcmp(zeros, zerosOut, 16) == 0);

        BYTE letters[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
        const BYTE lettersOut[8] = {0x02, 0x3A, 0x72, 0xAA, 0xE2, 0x1A, 0x52, 0x8A};
        CHECK(Unscramble(letters, 8, 1) == 1);
        CHECK(std::memcmp(letters, lettersOut, 8) == 0);
    }
    SUBCASE("enable 0 and length 0 change nothing") {
        BYTE buffer[16];
        std::memset(buffer, 0x11, sizeof buffer);
        CHECK(Unscramble(buffer, 16, 0) == 1);
        CHECK(Unscramble(buffer, 0, 1) == 1);
        for (BYTE b : buffer) CHECK(b == 0x11);
    }
    SUBCASE("a short length still completes its group of eight") {
        BYTE buffer[16];
        std::memset(buffer, 0x11, sizeof buffer);
        CHECK(Unscramble(buffer, 3, 1) == 1);
        for (int j = 0; j < 8; ++j) CHECK(buffer[j] == BYTE(0x13 + 57 * j - 0x11));
        for (int j = 8; j < 16; ++j) CHECK(buffer[j] == 0x11);
    }
    SUBCASE("scrambled test data descrambles to the plain data") {
        BYTE plain[61];
        for (int i = 0; i < 61; ++i) plain[i] = static_cast<BYTE>(i * 7 + 1);
        plain[0] = 0x02;
        BYTE data[64] = {};
        std::memcpy(data, plain, sizeof plain);
        ScrambleWithSeed(data, sizeof plain, 0x5A);
        CHECK(data[0] == 0x58);
        CHECK(std::memcmp(data, plain, sizeof plain) != 0);
        Unscramble(data, sizeof plain, 1);
        CHECK(std::memcmp(data, plain, sizeof plain) == 0);
    }
}
