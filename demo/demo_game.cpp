// The demo game module: speaks the launcher's game interface and draws a plainly labelled demo
// picture into the window it is given, honouring DRAVIK_BRIGHTNESS and DRAVIK_SAVE_DIR.
// The picture is drawn with GDI into memory and shown through a Direct3D 11 swap chain, as a real
// game would show its frames (plain GDI on the window is the fallback). The window belongs to the
// launcher's main thread, so it is only drawn on, never subclassed.
#include <windows.h>
#include <d3d11.h>
#include <dxgi.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#define EXPORT extern "C" __declspec(dllexport)

namespace {

constexpr int original_brightness = -43;  // the runtime value of the untouched picture
constexpr DWORD frame_ms = 33;

std::wstring game_log;

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                            nullptr, nullptr);
    return out;
}

void log_line(const std::string& line) {
    if (game_log.empty()) return;
    FILE* file = _wfopen(game_log.c_str(), L"ab");
    if (!file) return;
    fprintf(file, "%s\n", line.c_str());
    fclose(file);
}

std::wstring env(const wchar_t* name) {
    wchar_t buffer[4096];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
    if (n < 1 || n > 4095) return {};
    return std::wstring(buffer, n);
}

int read_brightness() {
    const std::wstring text = env(L"DRAVIK_BRIGHTNESS");
    if (text.empty()) return original_brightness;
    wchar_t* end = nullptr;
    const long value = wcstol(text.c_str(), &end, 10);
    if (*end != L'\0') return original_brightness;
    if (value < -72) return -72;
    if (value > 14) return 14;
    return static_cast<int>(value);
}

// The runtime value is 100 * (0.57 * gain - 1), so -43 is a gain of 1.
double brightness_gain(int brightness) { return (1.0 + brightness / 100.0) / 0.57; }

void make_folders(const std::wstring& path) {
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\' || path[i] == L'/') {
            const std::wstring part = path.substr(0, i);
            if (!part.empty() && part.back() != L':') CreateDirectoryW(part.c_str(), nullptr);
        }
    }
}

// A tiny save: how often the demo was played and with what picture.
void write_save(const std::wstring& folder, int brightness) {
    if (folder.empty()) return;
    make_folders(folder);
    const std::wstring path = folder + L"\\demo-save.txt";
    int plays = 0;
    if (FILE* old = _wfopen(path.c_str(), L"rb")) {
        if (fscanf(old, "plays=%d", &plays) != 1) plays = 0;
        fclose(old);
    }
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) {
        log_line("demo game: cannot write " + utf8(path));
        return;
    }
    fprintf(file, "plays=%d\nbrightness=%d\n", plays + 1, brightness);
    fclose(file);
    log_line("demo game: saved to " + utf8(path));
}

COLORREF scaled(int r, int g, int b, double gain) {
    auto channel = [gain](int v) {
        const double scaled_value = v * gain;
        return static_cast<BYTE>(scaled_value > 255.0 ? 255 : scaled_value);
    };
    return RGB(channel(r), channel(g), channel(b));
}

void fill(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    if (!brush) return;
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void draw_background(HDC dc, int width, int height, double gain) {
    const int bands = 48;
    for (int i = 0; i < bands; ++i) {
        const RECT band = {0, height * i / bands, width, height * (i + 1) / bands};
        fill(dc, band, scaled(20 + i * 2, 30 + i * 3, 90 + i, gain));
    }
}

void draw_shapes(HDC dc, int width, int height, double gain, double t) {
    const int size = height / 6;
    for (int i = 0; i < 5; ++i) {
        const double phase = t * (0.6 + 0.2 * i) + i * 1.3;
        const int x = static_cast<int>((0.5 + 0.4 * std::sin(phase)) * (width - size));
        const int y = static_cast<int>((0.55 + 0.3 * std::cos(phase * 1.7)) * (height - size));
        HBRUSH brush = CreateSolidBrush(scaled(200 - i * 20, 120 + i * 25, 60 + i * 35, gain));
        if (!brush) continue;
        HGDIOBJ old_brush = SelectObject(dc, brush);
        HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
        Ellipse(dc, x, y, x + size, y + size);
        SelectObject(dc, old_pen);
        SelectObject(dc, old_brush);
        DeleteObject(brush);
    }
}

HFONT make_font(int pixels, int weight) {
    return CreateFontW(-pixels, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH,
                       L"Tahoma");
}

void text_line(HDC dc, HFONT font, int x, int y, const std::wstring& text) {
    HGDIOBJ old_font = font ? SelectObject(dc, font) : nullptr;
    TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
    if (old_font) SelectObject(dc, old_font);
}

void draw_text(HDC dc, int width, int height, double gain, int brightness,
               const std::wstring& saves) {
    HFONT title = make_font(height / 14, FW_BOLD);
    HFONT body = make_font(height / 24, FW_NORMAL);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, scaled(235, 235, 240, gain));
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    text_line(dc, title, width / 2, height / 6, L"Demo game - not the real game");
    wchar_t line[96];
    swprintf(line, 96, L"DRAVIK_BRIGHTNESS %d (picture x%.2f)", brightness, gain);
    text_line(dc, body, width / 2, height / 6 + height / 10, line);
    text_line(dc, body, width / 2, height / 6 + height / 10 + height / 16,
              L"Saves: " + (saves.empty() ? std::wstring(L"game default") : saves));
    if (body) DeleteObject(body);
    if (title) DeleteObject(title);
}

// The swap chain the frames are shown through; absent when Direct3D 11 is not to be had.
struct Presenter {
    ID3D11Device* device = nullptr;
    ID3D11DeviceContext* context = nullptr;
    IDXGISwapChain* chain = nullptr;
    int width = 0;
    int height = 0;
};

void close_presenter(Presenter& p) {
    if (p.chain) p.chain->Release();
    if (p.context) p.context->Release();
    if (p.device) p.device->Release();
    p = Presenter{};
}

bool open_presenter(HWND window, Presenter& p) {
    DXGI_SWAP_CHAIN_DESC desc{};
    desc.BufferDesc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;  // the byte order of a 32-bit DIB
    desc.SampleDesc.Count = 1;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 2;
    desc.OutputWindow = window;
    desc.Windowed = TRUE;
    desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
    if (FAILED(D3D11CreateDeviceAndSwapChain(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr,
                                             D3D11_CREATE_DEVICE_BGRA_SUPPORT, nullptr, 0,
                                             D3D11_SDK_VERSION, &desc, &p.chain, &p.device,
                                             nullptr, &p.context))) {
        close_presenter(p);
        return false;
    }
    // Alt+Enter belongs to the launcher, not to DXGI.
    IDXGIFactory* factory = nullptr;
    if (SUCCEEDED(p.chain->GetParent(__uuidof(IDXGIFactory), reinterpret_cast<void**>(&factory)))) {
        factory->MakeWindowAssociation(window, DXGI_MWA_NO_ALT_ENTER);
        factory->Release();
    }
    return true;
}

// Copies a top-down 32-bit picture into the back buffer and presents it.
bool present(Presenter& p, const void* bits, int width, int height) {
    if (width != p.width || height != p.height) {
        if (FAILED(p.chain->ResizeBuffers(0, width, height, DXGI_FORMAT_UNKNOWN, 0))) return false;
        p.width = width;
        p.height = height;
    }
    ID3D11Texture2D* buffer = nullptr;
    if (FAILED(p.chain->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&buffer))))
        return false;
    p.context->UpdateSubresource(buffer, 0, nullptr, bits, static_cast<UINT>(width) * 4, 0);
    buffer->Release();
    return SUCCEEDED(p.chain->Present(1, 0));
}

// One frame drawn off-screen and shown in whole, so the picture never flickers.
void draw_frame(HWND window, Presenter* presenter, double gain, int brightness,
                const std::wstring& saves, double t) {
    RECT client{};
    if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return;
    const int width = client.right;
    const int height = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, like a texture
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = memory ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (bitmap) {
        HGDIOBJ old_bitmap = SelectObject(memory, bitmap);
        draw_background(memory, width, height, gain);
        draw_shapes(memory, width, height, gain, t);
        draw_text(memory, width, height, gain, brightness, saves);
        GdiFlush();
        if (!presenter || !present(*presenter, bits, width, height)) {
            if (HDC target = GetDC(window)) {
                BitBlt(target, 0, 0, width, height, memory, 0, 0, SRCCOPY);
                ReleaseDC(window, target);
            }
        }
        SelectObject(memory, old_bitmap);
        DeleteObject(bitmap);
    }
    if (memory) DeleteDC(memory);
}

}  // namespace

EXPORT int varnis_game_api() { return 1; }

EXPORT int varnis_game_prepare(const wchar_t* work_dir, const wchar_t* log_path) {
    game_log = log_path ? log_path : L"";
    log_line("demo game prepared; work folder " + utf8(work_dir ? work_dir : L""));
    return 0;
}

EXPORT int varnis_game_run(void* parameter) {
    HWND window = static_cast<HWND>(parameter);
    const int brightness = read_brightness();
    const double gain = brightness_gain(brightness);
    const std::wstring saves = env(L"DRAVIK_SAVE_DIR");
    log_line("demo game running; brightness " + std::to_string(brightness));
    write_save(saves, brightness);
    Presenter presenter;
    // VARNIS_DEMO_GDI=1 draws on the window itself, where a test can read the pixels back.
    const bool swap_chain = env(L"VARNIS_DEMO_GDI") != L"1" && open_presenter(window, presenter);
    log_line(swap_chain ? "demo game: showing frames through Direct3D 11"
                        : "demo game: no Direct3D 11, drawing with GDI");
    const ULONGLONG start = GetTickCount64();
    while (IsWindow(window)) {
        draw_frame(window, swap_chain ? &presenter : nullptr, gain, brightness, saves,
                   (GetTickCount64() - start) / 1000.0);
        Sleep(frame_ms);  // a vertical blank is not always waited for (Present on Xvfb)
    }
    close_presenter(presenter);
    log_line("demo game ended: window closed");
    return 0;
}
