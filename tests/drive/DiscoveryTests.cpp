// Finding the drives on both families, the device table and the current drive.
#include "DriveTest.h"

namespace {

void Identity(TSimDrive *d, const char *product) { d->SetIdentity("VESKTECH", product, "1.05", 0, 0); }

std::string NameOf(int index) { return Atapi.Devices[index].Name; }

bool EntryPointsSet() { return GetASPI32SupportInfo != nullptr && SendASPI32Command != nullptr; }
bool EntryPointsClear() { return GetASPI32SupportInfo == nullptr && SendASPI32Command == nullptr; }

}  // namespace

TEST_CASE("NT: CD/DVD letters are found in letter order and the first is current") {
    TSimFixture f(true);
    f.Machine.SetDriveType('C', DRIVE_FIXED);
    f.Machine.SetDriveType('F', DRIVE_REMOTE);
    Identity(f.Machine.AddNtDrive('E'), "SECOND");
    Identity(f.Machine.AddNtDrive('D'), "FIRST");
    f.Start();

    CHECK(f.Machine.VersionInfoSize == 148);
    CHECK(Atapi.IsNt);
    CHECK(Atapi.AspiModule == nullptr);
    CHECK(Atapi.AspiRequest == nullptr);
    CHECK(Atapi.DeviceCount == 2);
    CHECK(NameOf(0) == "VESKTECHFIRST           ");
    CHECK(NameOf(1) == "VESKTECHSECOND          ");
    CHECK(Atapi.Devices[0].Handle == f.Machine.NtHandle('D'));
    CHECK(Atapi.Devices[1].Handle == f.Machine.NtHandle('E'));
    CHECK(Atapi.Handle == f.Machine.NtHandle('D'));
    CHECK(Atapi.Adapter == 0);
    CHECK(Atapi.Target == 0);
    CHECK(Atapi.Lun == 0);

    // A to Y probed once each, in order; Z never.
    REQUIRE(f.Machine.ProbedRoots.size() == 25);
    for (int i = 0; i < 25; ++i) CHECK(f.Machine.ProbedRoots[i] == std::string(1, char('A' + i)) + ":\\");
    // Only the CD/DVD letters are opened, for reading and writing, shared.
    REQUIRE(f.Machine.Opens.size() == 2);
    for (const TSimMachine::Open &o : f.Machine.Opens) {
        CHECK(o.Access == (GENERIC_READ | GENERIC_WRITE));
        CHECK(o.Share == (FILE_SHARE_READ | FILE_SHARE_WRITE));
        CHECK(o.Disposition == OPEN_EXISTING);
        CHECK(o.Flags == 0);
        CHECK_FALSE(o.Security);
        CHECK_FALSE(o.Template);
    }
    CHECK(f.Machine.Opens[0].Name == "\\\\.\\D:");
    CHECK(f.Machine.Opens[1].Name == "\\\\.\\E:");
    // One INQUIRY per drive.
    CHECK(f.Machine.NtDrive('D')->Count(TSimCmd::Inquiry) == 1);
    CHECK(f.Machine.NtDrive('E')->Count(TSimCmd::Inquiry) == 1);
}

TEST_CASE("NT: at most four drives are counted; later ones share the fifth entry") {
    TSimFixture f(true);
    const char *names[] = {"D", "E", "F", "G", "H", "I"};
    for (int i = 0; i < 6; ++i) Identity(f.Machine.AddNtDrive(names[i][0]), names[i]);
    f.Start();

    CHECK(Atapi.DeviceCount == 4);
    for (int i = 0; i < 4; ++i) CHECK(NameOf(i) == std::string("VESKTECH") + names[i] + "               ");
    // H and I were still opened and asked; I's record overwrote H's.
    CHECK(f.Machine.NtDrive('H')->Count(TSimCmd::Inquiry) == 1);
    CHECK(f.Machine.NtDrive('I')->Count(TSimCmd::Inquiry) == 1);
    CHECK(NameOf(4) == "VESKTECHI               ");
    CHECK(Atapi.Devices[4].Handle == f.Machine.NtHandle('I'));
    CHECK(Atapi.LastOpenedHandle == f.Machine.NtHandle('I'));
}

TEST_CASE("NT: a drive on Z is never found, one that cannot be opened is skipped") {
    TSimFixture f(true);
    Identity(f.Machine.AddNtDrive('D', true), "LOCKED");
    Identity(f.Machine.AddNtDrive('E'), "OPEN");
    Identity(f.Machine.AddNtDrive('Z'), "ZED");
    f.Start();

    CHECK(Atapi.DeviceCount == 1);
    CHECK(NameOf(0) == "VESKTECHOPEN            ");
    CHECK(f.Machine.NtDrive('D')->Trace.empty());
    CHECK(f.Machine.NtDrive('Z')->Trace.empty());
    CHECK(f.Machine.Boxes.empty());
    CHECK(f.Machine.Opens.size() == 2);
}

TEST_CASE("NT: the destructor closes the last handle opened, and only that one") {
    TSimFixture f(true);
    f.Machine.AddNtDrive('D');
    f.Machine.AddNtDrive('E');
    f.Start();
    Atapi.~TAtapi();
    CHECK(f.Machine.Closed == std::vector<HANDLE>{f.Machine.NtHandle('E')});
    CHECK(f.Machine.FreeLibraryCount == 0);
    new (&Atapi) TAtapi();
}

TEST_CASE("NT: when the last CD/DVD letter fails to open, nothing is closed at the end") {
    TSimFixture f(true);
    f.Machine.AddNtDrive('D');
    f.Machine.AddNtDrive('E', true);
    f.Start();
    CHECK(Atapi.DeviceCount == 1);
    CHECK(Atapi.LastOpenedHandle == INVALID_HANDLE_VALUE);
    Atapi.~TAtapi();
    CHECK(f.Machine.Closed.empty());
    new (&Atapi) TAtapi();
}

TEST_CASE("no CD/DVD drive: an empty table and an all-zero current drive") {
    for (bool nt : {true, false}) {
        CAPTURE(nt);
        TSimFixture f(nt);
        f.Machine.SetDriveType('C', DRIVE_FIXED);
        if (!nt) f.Machine.AddAspiDevice(0, 0, 0, 0);  // a hard disk only
        f.Start();
        CHECK(Atapi.DeviceCount == 0);
        CHECK(Atapi.Handle == nullptr);
        CHECK(Atapi.Adapter == 0);
        CHECK(Atapi.Target == 0);
        CHECK(Atapi.Lun == 0);
        CHECK(f.Machine.Boxes.empty());
    }
}

TEST_CASE("9x: devices are found in adapter, target, unit order") {
    TSimFixture f(false);
    f.Machine.AspiAdapterCount = 2;
    Identity(f.Machine.AddAspiDevice(1, 0, 0), "ONE-ZERO");
    Identity(f.Machine.AddAspiDevice(0, 3, 0), "ZERO-THREE");
    Identity(f.Machine.AddAspiDevice(0, 1, 0, 0), "DISK");        // not a CD/DVD device
    Identity(f.Machine.AddAspiDevice(0, 3, 5), "ZERO-THREE-5");
    f.Start();

    CHECK(f.Machine.VersionInfoSize == 148);
    CHECK_FALSE(Atapi.IsNt);
    CHECK(Atapi.DeviceCount == 3);
    CHECK(NameOf(0) == "VESKTECHZERO-THREE      ");
    CHECK(NameOf(1) == "VESKTECHZERO-THREE-5    ");
    CHECK(NameOf(2) == "VESKTECHONE-ZERO        ");
    const DeviceEntry &e = Atapi.Devices[1];
    CHECK(e.Adapter == 0);
    CHECK(e.Target == 3);
    CHECK(e.Lun == 5);
    CHECK(e.Handle == nullptr);
    CHECK(f.Machine.AspiDrive(0, 1, 0)->Trace.empty());
    // Entry 0 is current again after the walk.
    CHECK(Atapi.Adapter == 0);
    CHECK(Atapi.Target == 3);
    CHECK(Atapi.Lun == 0);
    CHECK(Atapi.Handle == nullptr);

    // Every address of both adapters was asked once, in order, with a clean block.
    REQUIRE(CountAspiCalls(f.Machine, SC_GET_DEV_TYPE) == 128);
    int k = 0;
    for (const TSimAspiCall &c : f.Machine.AspiCalls()) {
        if (c.Cmd != SC_GET_DEV_TYPE) continue;
        const SRB_GDEVBlock &q = *reinterpret_cast<const SRB_GDEVBlock *>(c.Bytes);
        CHECK(q.SRB_HaId == k / 64);
        CHECK(q.SRB_Target == (k / 8) % 8);
        CHECK(q.SRB_Lun == k % 8);
        CHECK(q.SRB_Flags == 0);
        CHECK(q.SRB_Hdr_Rsvd == 0);
        CHECK(q.SRB_Rsvd1 == 0);
        ++k;
    }
    // The type query's block is released; the request block stays, cleared.
    CHECK(f.Machine.AllocSizes == std::vector<DWORD>{sizeof(SRB_ExecSCSICmd), sizeof(SRB_GDEVBlock)});
    CHECK(f.Machine.BuffersOut == 1);
}

TEST_CASE("9x: the ASPI layer is loaded from the system directory") {
    TSimFixture f(false);
    f.Machine.SystemDirectory = "C:\\WIN98\\SYSTEM";
    f.AddDrive();
    f.Start();
    CHECK(f.Machine.SystemDirectorySize == 50);
    CHECK(f.Machine.LoadedPaths == std::vector<std::string>{"C:\\WIN98\\SYSTEM\\WNASPI32.DLL"});
    CHECK(Atapi.AspiModule != nullptr);
    CHECK(EntryPointsSet());
    CHECK(Atapi.DeviceCount == 1);

    // Torn down: the block freed, the library unloaded once.
    Atapi.~TAtapi();
    CHECK(f.Machine.BuffersOut == 0);
    CHECK(f.Machine.BadFrees == 0);
    CHECK(f.Machine.FreeLibraryCount == 1);
    CHECK(EntryPointsClear());
    memset(static_cast<void *>(&Atapi), 0, sizeof Atapi);
    new (&Atapi) TAtapi();
}

TEST_CASE("9x: without a usable ASPI layer the program says so and records nothing") {
    struct TCase {
        const char *Name;
        bool Present;
        const char *MissingEntry;
        const char *Directory;
        size_t Loads;
        int Unloads;
    };
    const TCase cases[] = {
        {"library missing", false, nullptr, "C:\\WINDOWS\\SYSTEM", 1, 0},
        {"no GetASPI32SupportInfo", true, "GetASPI32SupportInfo", "C:\\WINDOWS\\SYSTEM", 1, 1},
        {"no SendASPI32Command", true, "SendASPI32Command", "C:\\WINDOWS\\SYSTEM", 1, 1},
        // 49 characters fit the 50-character buffer; 50 do not.
        {"system directory too long", true, nullptr,
         "C:\\A-VERY-LONG-WINDOWS-DIRECTORY-NAME\\SYSTEM32\\XYZ", 0, 0},
    };
    for (const TCase &c : cases) {
        INFO(std::string(c.Name));
        TSimFixture f(false);
        f.Machine.AspiLibraryPresent = c.Present;
        f.Machine.AspiMissingEntry = c.MissingEntry;
        f.Machine.SystemDirectory = c.Directory;
        f.AddDrive();
        f.Start();
        REQUIRE(f.Machine.Boxes.size() == 1);
        CHECK(f.Machine.Boxes[0].Text == "WNASPI32.DLL not found");
        CHECK(f.Machine.LoadedPaths.size() == c.Loads);
        CHECK(f.Machine.FreeLibraryCount == c.Unloads);
        CHECK(Atapi.AspiModule == nullptr);
        CHECK(Atapi.AspiRequest == nullptr);
        CHECK(EntryPointsClear());
        CHECK(Atapi.DeviceCount == 0);
        CHECK(f.Machine.AspiCalls().empty());
        CHECK(f.Machine.AllocCalls == 0);
        // A command still finds nothing to send to.
        CHECK(Atapi.TestUnitReady() == SS_ERR);
        CHECK(f.Machine.AspiCalls().empty());
    }
    // The longest directory that fits still loads.
    TSimFixture f(false);
    f.Machine.SystemDirectory = "C:\\A-VERY-LONG-WINDOWS-DIRECTORY-NAME\\SYSTEM32\\XY";
    REQUIRE(f.Machine.SystemDirectory.size() == 49);
    f.AddDrive();
    f.Start();
    CHECK(f.Machine.Boxes.empty());
    CHECK(Atapi.DeviceCount == 1);
}

TEST_CASE("9x: the walk stops when the table is full") {
    TSimFixture f(false);
    f.Machine.AspiAdapterCount = 2;
    for (int i = 0; i < 25; ++i) f.Machine.AddAspiDevice(static_cast<BYTE>(i / 16), static_cast<BYTE>(i % 16 / 2), static_cast<BYTE>(i % 2));
    f.Start();
    CHECK(Atapi.DeviceCount == 20);
    // The twentieth drive is adapter 1, target 1, unit 1; nothing is asked after it.
    CHECK(Atapi.Devices[19].Adapter == 1);
    CHECK(Atapi.Devices[19].Target == 1);
    CHECK(Atapi.Devices[19].Lun == 1);
    const TSimAspiCall *last = LastAspiCall(f.Machine, SC_GET_DEV_TYPE);
    REQUIRE(last);
    const SRB_GDEVBlock &q = *reinterpret_cast<const SRB_GDEVBlock *>(last->Bytes);
    CHECK(q.SRB_HaId == 1);
    CHECK(q.SRB_Target == 1);
    CHECK(q.SRB_Lun == 1);
}

TEST_CASE("9x: a type query answered later is waited for with the message pump") {
    TSimFixture f(false);
    f.Machine.DeviceTypeQueryLate = true;
    Identity(f.Machine.AddAspiDevice(0, 2, 0), "LATE");
    f.Start();
    REQUIRE(LastAspiCall(f.Machine, SC_GET_DEV_TYPE));
    CHECK(Atapi.DeviceCount == 1);
    CHECK(NameOf(0) == "VESKTECHLATE            ");
}

TEST_CASE("Name and Revision keep their trailing spaces and stop at a NUL") {
    struct TCase {
        const char *Name;
        int NulAt;               // INQUIRY byte set to 0 (-1: none)
        const char *ExpectedName;
        const char *ExpectedRevision;
    };
    const TCase cases[] = {
        {"padded", -1, "ACME    DRIVE           ", "1.0 "},
        {"NUL in the vendor", 12, "ACME", "1.0 "},
        {"NUL in the product", 21, "ACME    DRIVE", "1.0 "},
        {"NUL at the first byte", 8, "", "1.0 "},
        {"NUL in the revision", 33, "ACME    DRIVE           ", "1"},
    };
    for (bool nt : {true, false}) {
        for (const TCase &c : cases) {
            INFO(std::string(c.Name), " nt=", nt);
            TSimFixture f(nt);
            TSimDrive *d = f.AddDrive();
            d->SetIdentity("ACME", "DRIVE", "1.0", 0, 0);
            if (c.NulAt >= 0) d->InquiryData[c.NulAt] = 0;
            f.Start();
            REQUIRE(Atapi.DeviceCount == 1);
            CHECK(std::string(Atapi.Devices[0].Name) == c.ExpectedName);
            CHECK(std::string(Atapi.Devices[0].Revision) == c.ExpectedRevision);
        }
    }
}

TEST_CASE("a drive whose INQUIRY fails is recorded with an empty name") {
    for (bool nt : {true, false}) {
        CAPTURE(nt);
        TSimFixture f(nt);
        // The silent drive comes second, after an answer that a reused,
        // uncleared area would still hold.
        Identity(f.AddDrive(), "GOOD");
        TSimFault fail;
        fail.Kind = TSimCmd::Inquiry;
        f.AddDrive()->Faults.push_back(fail);
        f.Start();
        CHECK(Atapi.DeviceCount == 2);
        CHECK(NameOf(0) == "VESKTECHGOOD            ");
        CHECK(NameOf(1) == "");
        CHECK(std::string(Atapi.Devices[1].Revision) == "");
    }
}

TEST_CASE("SelectDevice makes an entry current; SetAddress leaves the handle") {
    SUBCASE("NT") {
        TSimFixture f(true);
        f.AddDrive();
        f.AddDrive();
        f.Start();
        Atapi.SelectDevice(1);
        CHECK(Atapi.Handle == f.Machine.NtHandle('E'));
        CHECK(Atapi.Adapter == 0);
        CHECK(Atapi.Target == 0);
        CHECK(Atapi.Lun == 0);
        Atapi.TestUnitReady();
        CHECK(f.Machine.Ioctls.back().Device == f.Machine.NtHandle('E'));
        CHECK(f.Machine.NtDrive('E')->Last()->Kind == TSimCmd::TestUnitReady);
        Atapi.SetAddress(1, 2, 3);
        CHECK(Atapi.Handle == f.Machine.NtHandle('E'));
        // Only table entries can become current.
        Atapi.SelectDevice(-1);
        Atapi.SelectDevice(20);
        CHECK(Atapi.Handle == f.Machine.NtHandle('E'));
    }
    SUBCASE("9x") {
        TSimFixture f(false);
        f.Machine.AddAspiDevice(0, 1, 0);
        f.Machine.AddAspiDevice(0, 6, 2);
        f.Start();
        Atapi.SelectDevice(1);
        CHECK(Atapi.Handle == nullptr);
        CHECK(Atapi.Target == 6);
        CHECK(Atapi.Lun == 2);
        Atapi.TestUnitReady();
        CHECK(f.Machine.AspiDrive(0, 6, 2)->Last()->Kind == TSimCmd::TestUnitReady);
    }
}
