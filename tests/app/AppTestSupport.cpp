#include "AppTestSupport.h"
#include <cstdio>
#include <cstring>
#include <vector>

std::string ClassOf(HWND window) {
    char name[64] = {0};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    char text[512] = {0};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

TRect RectInParent(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    HWND parent = GetParent(window);
    if (parent && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD))
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
    return TRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void PressKey(TFormFixture &f, UINT virtualKey, bool alt) {
    HWND target = GetFocus();
    if (!target && Form1) target = Form1->Handle;
    LPARAM down = 1 | (alt ? (1 << 29) : 0);
    if (alt) {
        // Alt+letter reaches the dialog manager as WM_SYSCHAR with the
        // letter, which is what TranslateMessage makes of the key.
        WPARAM letter = (virtualKey >= 'A' && virtualKey <= 'Z') ? virtualKey + ('a' - 'A') : virtualKey;
        PostMessageA(target, WM_SYSCHAR, letter, down);
    } else {
        PostMessageA(target, WM_KEYDOWN, virtualKey, down);
        PostMessageA(target, WM_KEYUP, virtualKey, down | 0xC0000000);
    }
    f.Pump(30);
}

std::string BuildFolder() {
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p(path);
    for (int i = 0; i < 2; ++i) {
        size_t slash = p.find_last_of("\\/");
        if (slash == std::string::npos) return ".";
        p.erase(slash);
    }
    return p;
}

// --- PNG ---------------------------------------------------------------------
// Stored (uncompressed) deflate blocks are enough for a picture of a window.

namespace {

unsigned long Crc(const unsigned char *data, size_t n, unsigned long crc = 0xFFFFFFFFul) {
    static unsigned long table[256];
    static bool ready = false;
    if (!ready) {
        for (unsigned long i = 0; i < 256; ++i) {
            unsigned long c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320ul ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    for (size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

void Put32(std::vector<unsigned char> &out, unsigned long v) {
    out.push_back(static_cast<unsigned char>(v >> 24));
    out.push_back(static_cast<unsigned char>(v >> 16));
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v));
}

void Chunk(std::vector<unsigned char> &out, const char *type, const std::vector<unsigned char> &data) {
    Put32(out, static_cast<unsigned long>(data.size()));
    std::vector<unsigned char> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    Put32(out, Crc(body.data(), body.size()) ^ 0xFFFFFFFFul);
}

}  // namespace

namespace {

// Whether Wine draws the windows' frames itself (no window manager is asked
// to): then the screen holds the whole window, otherwise only its client
// area is Wine's to show.
bool WineDrawsFrames() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char value[8] = {0};
    DWORD size = sizeof value - 1, type = 0;
    bool unmanaged = RegQueryValueExA(key, "Managed", nullptr, &type, reinterpret_cast<BYTE *>(value),
                                      &size) == ERROR_SUCCESS &&
                     (value[0] == 'N' || value[0] == 'n');
    RegCloseKey(key);
    return unmanaged;
}

}  // namespace

bool SaveWindowPng(HWND window, const std::string &path) {
    RECT r;
    if (WineDrawsFrames()) {
        if (!GetWindowRect(window, &r)) return false;
    } else {
        if (!GetClientRect(window, &r)) return false;
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT *>(&r), 2);
    }
    int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib) {
        DeleteDC(mem);
        ReleaseDC(nullptr, screen);
        return false;
    }
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();

    std::vector<unsigned char> raw;  // filter byte 0, then RGB per row
    const unsigned char *px = static_cast<const unsigned char *>(bits);
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);
        for (int x = 0; x < w; ++x) {
            const unsigned char *p = px + (static_cast<size_t>(y) * w + x) * 4;
            raw.push_back(p[2]);
            raw.push_back(p[1]);
            raw.push_back(p[0]);
        }
    }
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);

    std::vector<unsigned char> z = {0x78, 0x01};
    unsigned long a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t pos = 0; pos < raw.size() || pos == 0;) {
        size_t n = raw.size() - pos;
        if (n > 65535) n = 65535;
        bool last = pos + n >= raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<unsigned char>(n));
        z.push_back(static_cast<unsigned char>(n >> 8));
        z.push_back(static_cast<unsigned char>(~n));
        z.push_back(static_cast<unsigned char>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<long>(pos), raw.begin() + static_cast<long>(pos + n));
        pos += n;
        if (last) break;
    }
    Put32(z, (b << 16) | a);

    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> ihdr;
    Put32(ihdr, static_cast<unsigned long>(w));
    Put32(ihdr, static_cast<unsigned long>(h));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    Chunk(png, "IHDR", ihdr);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});

    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

const char OneDriveName[] = "VESK    PLM-6100X DVD RW 2.1 ";

namespace {
TSimDrive *StartOneDrive(TSimFixture &sim, const char *vendor, const char *product,
                         const char *revision, BYTE v38, BYTE v39) {
    TSimDrive *d = sim.AddDrive();
    d->SetIdentity(vendor, product, revision, v38, v39);
    sim.Start();
    return d;
}
}  // namespace

TDriveWindow::TDriveWindow(const char *vendor, const char *product, const char *revision, BYTE v38,
                           BYTE v39)
    : Sim(true), Drive(StartOneDrive(Sim, vendor, product, revision, v38, v39)), Form() {}
