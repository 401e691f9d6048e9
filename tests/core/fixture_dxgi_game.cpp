// A game module as one may be: its swap chain on the launcher's child window keeps DXGI's own
// Alt+Enter handling (no DXGI_MWA_NO_ALT_ENTER), and its engine puts its own window procedure in
// front of the launcher's, taking F11 and Alt+Enter for itself. It presents until told to stop.
#include <windows.h>

#include <d3d11.h>
#include <dxgi.h>

#define EXPORT extern "C" __declspec(dllexport)

static volatile LONG presents = 0;
static volatile LONG keys_taken = 0;
static volatile LONG hold = 0;     // asked not to present
static volatile LONG holding = 0;  // no present in flight until hold is cleared
static WNDPROC launcher_proc = nullptr;

static LRESULT CALLBACK engine_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if ((message == WM_KEYDOWN && wparam == VK_F11) ||
        (message == WM_SYSKEYDOWN && wparam == VK_RETURN)) {
        InterlockedIncrement(&keys_taken);
        return 0;
    }
    return CallWindowProcW(launcher_proc, window, message, wparam, lparam);
}

EXPORT int varnis_game_run(void* parameter) {
    HWND window = static_cast<HWND>(parameter);
    DXGI_SWAP_CHAIN_DESC desc{};
    desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 2;
    desc.OutputWindow = window;
    desc.Windowed = TRUE;
    desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
    IDXGISwapChain* chain = nullptr;
    ID3D11Device* device = nullptr;
    ID3D11DeviceContext* context = nullptr;
    if (FAILED(D3D11CreateDeviceAndSwapChain(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr,
                                             0, D3D11_SDK_VERSION, &desc, &chain, &device, nullptr,
                                             &context)))
        return 1;
    launcher_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(engine_proc)));
    const ULONGLONG end = GetTickCount64() + 120000;
    while (GetTickCount64() < end) {
        InterlockedExchange(&holding, hold);
        if (!hold) {
            chain->Present(1, 0);
            InterlockedIncrement(&presents);
        }
        Sleep(10);
    }
    chain->Release();
    context->Release();
    device->Release();
    return 0;
}

EXPORT LONG fixture_presents() { return presents; }
EXPORT LONG fixture_keys_taken() { return keys_taken; }
// Holds presenting (true once no present is in flight) or lets it go on.
EXPORT bool fixture_hold(bool on) {
    InterlockedExchange(&hold, on);
    return holding == static_cast<LONG>(on);
}
