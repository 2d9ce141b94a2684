// The start-up matching of simulated drives against the carried images.
#include <doctest/doctest.h>
#include "image/ImageFixture.h"
#include "support/FormFixture.h"
#include "support/SimFixture.h"

namespace {

const char CarriedDrive[] = "VESK    PLM-6100X DVD RW 2.1 ";

void CarriedModel(TSimDrive *d, BYTE v38, BYTE v39) {
    d->SetIdentity("VESK", "PLM-6100X DVD RW", "2.1", v38, v39);
}

std::vector<std::string> Items() {
    std::vector<std::string> items;
    for (int i = 0; i < Form1->SelDevice->ItemCount(); ++i) {
        char text[64];
        Form1->SelDevice->GetItemText(i, text, sizeof text);
        items.push_back(text);
    }
    return items;
}

bool Logged(const TFormFixture &f, const std::string &line) {
    for (const std::string &l : f.LogLines()) {
        if (l == line) return true;
    }
    return false;
}

}  // namespace

TEST_CASE("a drive is listed with the image whose version bytes it reports") {
    struct Case { BYTE V38, V39; bool Listed; int Slot; };
    const Case cases[] = {
        {'D', '8', true, 0},
        {'D', '6', true, 1},
        {'D', '7', false, 1},    // not listed; the last image tried stays current
        {'d', '8', false, 1},
        {0, 0, false, 1},
    };
    for (const Case &c : cases) {
        CAPTURE(c.V38);
        CAPTURE(c.V39);
        TSimFixture sim(true);
        CarriedModel(sim.AddDrive(), c.V38, c.V39);
        sim.Start();
        TFormFixture f;
        f.Create();

        CHECK(CurrentImage == FirmwareSlots + c.Slot * SlotSize);
        CHECK(Form1->Checksum == (c.Slot == 0 ? 0x6B8B : 0x0631));
        char text[64];
        Form1->Edit1->GetText(text, sizeof text);
        CHECK(std::string(text) == CarriedIdentification);
        CHECK(UpdateFlags.RequiredVersion[1] == (c.Slot == 0 ? '8' : '6'));
        if (c.Listed) {
            CHECK(Items() == std::vector<std::string>{CarriedDrive});
            CHECK(DeviceMap[0] == 0);
        } else {
            CHECK(Items().empty());
            // Left out without a word: the only message is the start-up's own.
            CHECK_FALSE(Logged(f, "Err:The firmware is not support this device!!(4)"));
            CHECK(f.LogLines().empty());
        }
    }
}

TEST_CASE("matching drives are listed in table order, the others left out") {
    TSimFixture sim(true);
    CarriedModel(sim.AddDrive(), 'D', '8');                                  // D: listed
    sim.AddDrive()->SetIdentity("VESK", "PLM-6100X DVD RX", "2.1", 'D', '8');  // E: other model
    CarriedModel(sim.AddDrive(), 'D', '8');                                  // F: listed
    CarriedModel(sim.AddDrive(), 'D', '7');                                  // G: other version
    sim.Start();
    REQUIRE(Atapi.DeviceCount == 4);
    TFormFixture f;
    f.Create();

    CHECK(Items() == std::vector<std::string>{CarriedDrive, CarriedDrive});
    CHECK(DeviceMap[0] == 0);
    CHECK(DeviceMap[1] == 2);
    CHECK(CurrentImage == FirmwareSlots);   // slot 0 matched, slot 1 was not tried
}

TEST_CASE("more matching drives than the list can map are not listed") {
    TSimFixture sim(false);
    for (BYTE t = 0; t < 6; ++t) {
        for (BYTE l = 0; l < 2; ++l) CarriedModel(sim.Machine.AddAspiDevice(0, t, l), 'D', '8');
    }
    sim.Start();
    REQUIRE(Atapi.DeviceCount == 12);
    TFormFixture f;
    f.Create();

    CHECK(Form1->SelDevice->ItemCount() == 10);
    for (int k = 0; k < 10; ++k) CHECK(DeviceMap[k] == k);
    CHECK(CurrentImage == FirmwareSlots);
}
