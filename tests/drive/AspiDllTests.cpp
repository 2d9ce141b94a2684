// The simulated wnaspi32.dll, loaded by the program's own start-up code and
// driven through the real ASPI transport: real events, real waits.
#include "DriveTest.h"
#include <stdio.h>
#include <string>
#include <vector>

namespace {

std::string Folder;  // holds WNASPI32.DLL and the scenario, no trailing backslash

BOOL WINAPI Windows98(LPOSVERSIONINFOA info) {
    info->dwMajorVersion = 4;
    info->dwMinorVersion = 10;
    info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    return TRUE;
}

UINT WINAPI TestSystemDirectory(LPSTR buffer, UINT size) {
    if (Folder.size() >= size) return static_cast<UINT>(Folder.size() + 1);
    memcpy(buffer, Folder.c_str(), Folder.size() + 1);
    return static_cast<UINT>(Folder.size());
}

std::string ReadAll(const std::string &path) {
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    fclose(f);
    return text;
}

bool Contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The built DLL sits in the build's sim folder, beside the tests folder.
std::string BuiltDll() {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string path = exe;
    path = path.substr(0, path.rfind('\\'));
    path = path.substr(0, path.rfind('\\'));
    return path + "\\sim\\wnaspi32.dll";
}

// Wine prefers its own built-in wnaspi32 to a DLL of that name, wherever
// the DLL lies; this asks it to take the one on disk. (Windows has no
// built-in layer and ignores the key.)
void PreferDllOnDisk() {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    const char value[] = "native";
    RegSetValueExA(key, "wnaspi32", 0, REG_SZ, reinterpret_cast<const BYTE *>(value), sizeof value);
    RegCloseKey(key);
}

struct TOsGuard {
    ~TOsGuard() { OsRestore(); }
};

}  // namespace

TEST_CASE("the simulated wnaspi32.dll serves the program's start-up and commands") {
    char temp[MAX_PATH];
    REQUIRE(GetTempPathA(sizeof temp, temp) > 0);
    Folder = std::string(temp) + "vesksim";
    REQUIRE_MESSAGE(Folder.size() < 50, Folder);
    CreateDirectoryA(Folder.c_str(), nullptr);
    const std::string dll = Folder + "\\WNASPI32.DLL";
    REQUIRE_MESSAGE(CopyFileA(BuiltDll().c_str(), dll.c_str(), FALSE), BuiltDll());

    const std::string scenario = Folder + "\\scenario.txt", trace = Folder + "\\trace.txt",
                      summary = Folder + "\\summary.txt";
    DeleteFileA(trace.c_str());
    DeleteFileA(summary.c_str());
    FILE *f = fopen(scenario.c_str(), "wb");
    REQUIRE(f);
    fprintf(f,
            "adapters = 1\r\n"
            "trace = %s\r\n"
            "summary = %s\r\n"
            "[device 0 1 0]\r\n"
            "vendor = VESKTECH\r\n"
            "product = DLL DRIVE\r\n"
            "revision = 2.01\r\n"
            "no_medium = 0\r\n"
            "programming_ms = 300\r\n"
            "fault = nth=3 status=0 completion=late late_ms=200\r\n",
            trace.c_str(), summary.c_str());
    fclose(f);
    REQUIRE(SetEnvironmentVariableA("VESK_SIM_SCENARIO", scenario.c_str()));
    PreferDllOnDisk();

    {
        TOsGuard restore;
        Os.GetVersionExA = &Windows98;
        Os.GetSystemDirectoryA = &TestSystemDirectory;
        TAtapi a;
        REQUIRE(a.AspiModule != nullptr);
        char loaded[MAX_PATH] = {};
        GetModuleFileNameA(a.AspiModule, loaded, sizeof loaded);
        REQUIRE(lstrcmpiA(loaded, dll.c_str()) == 0);
        REQUIRE(a.DeviceCount == 1);
        CHECK(std::string(a.Devices[0].Name) == "VESKTECHDLL DRIVE       ");
        CHECK(std::string(a.Devices[0].Revision) == "2.01");
        CHECK(a.Target == 1);

        // Command 2 completes at once, command 3 after 200 ms through the event.
        CHECK(a.TestUnitReady() == SS_COMP);
        const DWORD before = GetTickCount();
        CHECK(a.TestUnitReady() == SS_COMP);
        CHECK(GetTickCount() - before >= 150);

        // A one-block download and its commit; the drive programs for 300 ms.
        static BYTE block[256];
        DWORD sum = 0;
        for (int i = 0; i < 256; ++i) sum += block[i] = static_cast<BYTE>(i);
        CHECK(a.FlashWrite(block, 5, 0, 256, 0) == SS_COMP);
        CHECK(a.FlashWrite(block, 4, 0xE1, 0, static_cast<WORD>(sum)) == SS_COMP);
        CHECK(a.TestUnitReady() == SS_ERR);
        CHECK(a.AspiRequest->SRB_TargStat == 2);
        CHECK(a.AspiRequest->SenseArea[2] == 2);
        CHECK(a.AspiRequest->SenseArea[12] == 0x04);
        Sleep(400);
        CHECK(a.TestUnitReady() == SS_COMP);
        BYTE data[256] = {};
        CHECK(a.ReadMemory38(data, 0, 0) == SS_COMP);
        CHECK(data[255] == 255);
    }

    const std::string lines = ReadAll(trace);
    INFO(lines);
    CHECK(Contains(lines, "scenario " + scenario + "\r\n"));
    CHECK(Contains(lines, " 0:1:0 Inquiry cdb=120000003200000000000000 dir=8 len=50 status=0 sense=00/00/00\r\n"));
    CHECK(Contains(lines, " 0:1:0 FlashCommit cdb=5A00385645A004E100007F80 dir=16 len=0 status=0"));
    CHECK(Contains(lines, " 0:1:0 TestUnitReady cdb=000000000000000000000000 dir=0 len=0 status=2 sense=02/04/01\r\n"));
    CHECK(lines.size() >= 10);
    CHECK(lines.substr(lines.size() - 10) == "unloaded\r\n");

    const std::string state = ReadAll(summary);
    INFO(state);
    CHECK(Contains(state, "device 0:1:0 commands=8 commits=1 rejected=0\r\n"));
    CHECK(Contains(state, "committed 0 length=0100 sum=7F80\r\n"));
}
