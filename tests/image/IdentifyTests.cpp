// Reading the identity out of block 0 of an image: the inquiry template,
// the identification text, the required version and the design marker.
#include <doctest/doctest.h>
#include "image/ImageFixture.h"
#include "os/Os.h"
#include "support/FormFixture.h"
#include "support/SimFixture.h"
#include <functional>

namespace {

// The window on a machine without drives whose work buffers end at a
// no-access page and never come zeroed.
struct TIdentifyRig {
    TSimFixture Sim{true};
    TFormFixture Form;
    TIdentifyRig() {
        Sim.Machine.GuardedBuffers = true;
        Sim.Start();
        Form.Create();
    }
};

struct Identified {
    bool Result;
    std::string Text;
    BYTE Version[2];
};

// Identifies slot 0 of the fixture after marking the values identification
// may change, so that a value it leaves alone shows.
Identified Identify() {
    Form1->Edit1->SetText("(before)");
    UpdateFlags.RequiredVersion[0] = '?';
    UpdateFlags.RequiredVersion[1] = '?';
    Form1->LoadDescriptor(0);
    Identified r;
    r.Result = Form1->IdentifyFirmware();
    CHECK(TSimMachine::Current->BuffersOut == 0);
    char text[64];
    Form1->Edit1->GetText(text, sizeof text);
    r.Text = text;
    r.Version[0] = UpdateFlags.RequiredVersion[0];
    r.Version[1] = UpdateFlags.RequiredVersion[1];
    return r;
}

const char Unchanged[] = "(before)";

// An identification as a template holds it: padded with spaces to 28.
std::string Padded(const char *text) {
    std::string s = text;
    s.resize(28, ' ');
    return s;
}

}  // namespace

TEST_CASE("the inquiry template is the first signature in block 0") {
    TIdentifyRig rig;
    struct Case {
        const char *What;
        std::function<void(TSlotFixture &)> Setup;
        std::string Text;
        BYTE V0, V1;
    };
    const Case cases[] = {
        {"additional length 0x1F, 28 characters shown whole",
         [](TSlotFixture &s) { s.PutTemplate(0, 0x100, CarriedIdentification, 'D', '8'); },
         CarriedIdentification, 'D', '8'},
        {"additional length 0x5B",
         [](TSlotFixture &s) { s.PutTemplate(0, 0x100, "OTHER   DRIVE", 1, 2, 0x5B); },
         Padded("OTHER   DRIVE"), 1, 2},
        {"a near miss (05 80 00 00 24) is passed over",
         [](TSlotFixture &s) {
             const BYTE nearMiss[5] = {0x05, 0x80, 0x00, 0x00, 0x24};
             std::memcpy(s.Block0(0) + 0x100, nearMiss, 5);
             s.PutTemplate(0, 0x400, "LATER", 'L', 'T');
         },
         Padded("LATER"), 'L', 'T'},
        {"of two templates the lower wins",
         [](TSlotFixture &s) {
             s.PutTemplate(0, 0x400, "SECOND", '2', '2');
             s.PutTemplate(0, 0x100, "FIRST", '1', '1');
         },
         Padded("FIRST"), '1', '1'},
        {"a NUL ends the text, the version bytes still count",
         [](TSlotFixture &s) {
             s.PutTemplate(0, 0x100, CarriedIdentification, 'D', '6');
             s.Block0(0)[0x100 + 8 + 11] = 0;
         },
         "VESK    PLM", 'D', '6'},
        {"no template leaves text and version as they were",
         [](TSlotFixture &s) { s.PutNarrow(0, 0x100, "VESK    PLM-6100X DVD RW2.1 "); },
         Unchanged, '?', '?'},
        {"a template just past the block's length is not in the block",
         [](TSlotFixture &s) { s.PutTemplate(0, 0x1000, CarriedIdentification, 'D', '8'); },
         Unchanged, '?', '?'},
        {"a template whose last byte lies past the block reads it as zero",
         [](TSlotFixture &s) { s.PutTemplate(0, 0x1000 - 39, CarriedIdentification, 'D', '8'); },
         CarriedIdentification, 'D', 0},
    };
    for (const Case &c : cases) {
        CAPTURE(c.What);
        TSlotFixture slots(0x1000);
        c.Setup(slots);
        const Identified r = Identify();
        CHECK(r.Result);
        CHECK(r.Text == c.Text);
        CHECK(r.Version[0] == c.V0);
        CHECK(r.Version[1] == c.V1);
    }
}

TEST_CASE("a template at the end of the buffer is read only while it fits") {
    TIdentifyRig rig;
    // Block 0 fills all but the last byte of the buffer; that byte is zero.
    TSlotFixture slots(0xFFFF);
    BYTE *block = slots.Block0(0);

    SUBCASE("at 65496 its version bytes are the buffer's last two") {
        slots.PutTemplate(0, 65496, "END", 'E', 'Z');
        const Identified r = Identify();
        CHECK(r.Text == Padded("END"));
        CHECK(r.Version[0] == 'E');
        CHECK(r.Version[1] == 0);   // the slot's 'Z' lies past the block
    }
    SUBCASE("a signature after 65496 is skipped") {
        const BYTE signature[5] = {0x05, 0x80, 0x00, 0x00, 0x1F};
        for (DWORD p : {65497u, 65520u, 65531u}) {
            CAPTURE(p);
            std::memset(block + 65400, 'x', 0xFFFF - 65400);
            std::memcpy(block + p, signature, 5);
            const Identified r = Identify();
            CHECK(r.Text == Unchanged);
            CHECK(r.Version[0] == '?');
        }
    }
}

TEST_CASE("a scrambled block 0 is descrambled only for scramble flag 0x01") {
    TIdentifyRig rig;
    struct Case { BYTE Flag; std::string Text; };
    const Case cases[] = {{0x01, Padded("SCRAMBLED")}, {0x20, Unchanged}, {0x00, Unchanged},
                          {0x02, Unchanged}};
    for (const Case &c : cases) {
        CAPTURE(c.Flag);
        TSlotFixture slots(0x800);
        slots.Block0(0)[0] = 0x02;
        slots.PutTemplate(0, 0x321, "SCRAMBLED", 'S', '1');
        ScrambleWithSeed(slots.Block0(0), 0x800, 0x77);
        slots.Slot(0)[HeaderScrambleFlag] = c.Flag;
        const Identified r = Identify();
        CHECK(r.Text == c.Text);
    }
}

TEST_CASE("the design marker of a PLM-7004X image") {
    TIdentifyRig rig;
    struct Case {
        const char *What;
        const char *Product;    // null: no template
        bool Wide;
        DWORD At;
        WORD Length;
        bool Marker;
    };
    const Case cases[] = {
        {"16-bit text", "VESK    PLM-7004X", true, 0x600, 0x1000, true},
        {"16-bit text ending at the buffer's end", "VESK    PLM-7004X", true, 65508, 0xFFFF, true},
        {"8-bit text", "VESK    PLM-7004X", false, 0x600, 0x1000, false},
        {"another model", "VESK    PLM-6100X DVD RW", true, 0x600, 0x1000, false},
        {"a model that differs in the ninth character", "VESK    PLM-7004Y", true, 0x600,
         0x1000, false},
        {"the model name at another place", "VESK     PLM-7004X", true, 0x600, 0x1000, false},
        {"no template", nullptr, true, 0x600, 0x1000, false},
    };
    for (const Case &c : cases) {
        CAPTURE(c.What);
        UpdateFlags.ImageHasDesignMarker = false;
        TSlotFixture slots(c.Length);
        if (c.Product) slots.PutTemplate(0, 0x100, c.Product, 'D', '8');
        if (c.Wide) {
            slots.PutWide(0, c.At, "Quorvex Design");
        } else {
            slots.PutNarrow(0, c.At, "Quorvex Design");
        }
        Identify();
        CHECK(UpdateFlags.ImageHasDesignMarker == c.Marker);
    }

    SUBCASE("once set it stays set when an image without it is identified") {
        UpdateFlags.ImageHasDesignMarker = false;
        TSlotFixture slots(0x1000);
        slots.PutTemplate(0, 0x100, "VESK    PLM-7004X", 'D', '8');
        slots.PutWide(0, 0x600, "Quorvex Design");
        slots.PutTemplate(1, 0x100, "VESK    PLM-7004X", 'D', '6');
        Form1->LoadDescriptor(0);
        Form1->IdentifyFirmware();
        REQUIRE(UpdateFlags.ImageHasDesignMarker);
        Form1->LoadDescriptor(1);
        Form1->IdentifyFirmware();
        CHECK(UpdateFlags.ImageHasDesignMarker);
        CHECK(UpdateFlags.RequiredVersion[1] == '6');
    }
}

namespace {
int AllocationsToRefuse = 0;
void *(*Allocate)(DWORD size);
void *RefusingAlloc(DWORD size) {
    if (AllocationsToRefuse > 0) {
        --AllocationsToRefuse;
        return nullptr;
    }
    return Allocate(size);
}
}  // namespace

TEST_CASE("without a work buffer identification fails and the next slot is tried") {
    TSlotFixture slots(0x1000);
    slots.PutTemplate(0, 0x100, "SLOT ZERO", '0', '0');
    slots.PutTemplate(1, 0x100, "SLOT ONE", '1', '1');
    TSimFixture sim(true);
    sim.Start();
    Allocate = Os.AllocBuffer;
    Os.AllocBuffer = RefusingAlloc;
    AllocationsToRefuse = 1;
    {
        TFormFixture f;
        f.Create();   // the start-up matching identifies the slots
        const std::vector<std::string> log = f.LogLines();
        REQUIRE(!log.empty());
        CHECK(log[0] == "Err:Memory allocation");
        char text[64];
        Form1->Edit1->GetText(text, sizeof text);
        CHECK(std::string(text) == Padded("SLOT ONE"));
        CHECK(CurrentImage == FirmwareSlots + SlotSize);

        AllocationsToRefuse = 1;
        CHECK_FALSE(Form1->IdentifyFirmware());
    }
    Os.AllocBuffer = Allocate;
    CHECK(sim.Machine.BuffersOut == 0);
}
