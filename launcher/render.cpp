#include "launcher/render.h"

#include <imgui.h>
#include <imgui_impl_dx11.h>
#include <imgui_impl_win32.h>

#include "launcher/log.h"
#include "launcher/windows.h"
#include "screens/look.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

ID3D11Device* device = nullptr;
ID3D11DeviceContext* device_context = nullptr;
IDXGISwapChain* swap_chain = nullptr;
ID3D11RenderTargetView* render_target_view = nullptr;
bool ui_ready = false;
float ui_scale = 1.0f;
const float clear_colour[4] = {0.07f, 0.08f, 0.10f, 1.00f};
bool swap_chain_occluded = false;
bool device_lost = false;
CreateDeviceFn create_device_fn = D3D11CreateDeviceAndSwapChain;
RefreshRateFn refresh_rate_fn = monitor_refresh_rate;

static ULONGLONG next_device_attempt = 0;  // GetTickCount64 time of the next re-creation
static HANDLE frame_timer = nullptr;
static bool frame_timer_set = false;
static LONGLONG last_frame_time = 0;       // performance counter at the last frame's end
static HMONITOR paced_monitor = nullptr;   // the monitor frame_interval was measured on
static LONGLONG frame_interval = 0;        // performance counter ticks per refresh
static ID3D11Query* frame_done = nullptr;  // event query ended after each Present

template <typename T>
static void release(T*& object) {
    if (!object) return;
    object->Release();
    object = nullptr;
}

static bool is_device_loss(HRESULT result) {
    return result == DXGI_ERROR_DEVICE_REMOVED || result == DXGI_ERROR_DEVICE_RESET;
}

static HRESULT create_device_of_type(D3D_DRIVER_TYPE type) {
    DXGI_SWAP_CHAIN_DESC desc{};
    desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 2;
    desc.OutputWindow = child_window;
    desc.Windowed = TRUE;
    desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
    const D3D_FEATURE_LEVEL levels[2] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_0};
    D3D_FEATURE_LEVEL obtained;
    return create_device_fn(nullptr, type, nullptr, 0, levels, 2, D3D11_SDK_VERSION, &desc,
                            &swap_chain, &device, &obtained, &device_context);
}

// Device, swap chain and render target by the start-up rules; on failure nothing is held.
static HRESULT open_device() {
    HRESULT result = create_device_of_type(D3D_DRIVER_TYPE_HARDWARE);
    if (result == DXGI_ERROR_UNSUPPORTED) result = create_device_of_type(D3D_DRIVER_TYPE_WARP);
    if (FAILED(result)) {
        release_device_objects();
        return result;
    }
    IDXGIFactory* factory = nullptr;
    if (SUCCEEDED(swap_chain->GetParent(__uuidof(IDXGIFactory), reinterpret_cast<void**>(&factory)))) {
        factory->MakeWindowAssociation(child_window, DXGI_MWA_NO_ALT_ENTER);
        factory->Release();
    }
    create_render_target();
    return result;
}

bool create_device() {
    if (!child_window) return false;
    const HRESULT result = open_device();
    if (FAILED(result)) {
        launcher_log("D3D11 device creation failed: 0x%08lX", static_cast<unsigned long>(result));
        return false;
    }
    return true;
}

void report_device_failure() {
    MessageBoxW(nullptr, L"Varnis could not open its window (Direct3D 11 is required).", L"Varnis",
                MB_ICONERROR);
}

void release_device_objects() {
    release(frame_done);
    release(render_target_view);
    if (device_context) {
        device_context->ClearState();
        device_context->Flush();
    }
    release(swap_chain);
    release(device_context);
    release(device);
}

void release_render_objects() {
    release_device_objects();
    if (frame_timer) CloseHandle(frame_timer);
    frame_timer = nullptr;
    frame_timer_set = false;
}

// Everything made with the lost device goes; the interface keeps its state and draws on as soon
// as device_ready has made a new one.
static void lose_device(HRESULT why) {
    launcher_log("D3D11 device lost: 0x%08lX", static_cast<unsigned long>(why));
    if (ImGui::GetCurrentContext() && ImGui::GetIO().BackendRendererUserData)
        ImGui_ImplDX11_Shutdown();
    release_device_objects();
    device_lost = true;
    swap_chain_occluded = false;
    next_device_attempt = 0;
}

bool device_ready() {
    if (!device_lost) return true;
    const ULONGLONG now = GetTickCount64();
    if (now < next_device_attempt) {
        // Wake early for input, so the window can still be moved or closed.
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(next_device_attempt - now),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        return false;
    }
    next_device_attempt = now + 1000;
    if (FAILED(open_device())) return false;
    ImGui_ImplDX11_Init(device, device_context);
    device_lost = false;
    launcher_log("D3D11 device restored");
    return true;
}

void create_render_target() {
    ID3D11Texture2D* buffer = nullptr;
    if (FAILED(swap_chain->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&buffer))))
        return;
    device->CreateRenderTargetView(buffer, nullptr, &render_target_view);
    buffer->Release();
}

void resize_swap_chain(unsigned width, unsigned height) {
    release(render_target_view);
    const HRESULT result = swap_chain->ResizeBuffers(0, width, height, DXGI_FORMAT_UNKNOWN, 0);
    if (is_device_loss(result)) {
        lose_device(result);
        return;
    }
    create_render_target();
}

void fit_swap_chain_to_child() {
    if (!swap_chain) return;
    ClientSize size = child_size;
    if (size.width < 1 || size.height < 1) {  // no WM_SIZE seen yet
        RECT client{};
        if (!GetClientRect(child_window, &client)) return;
        size = {client.right, client.bottom};
    }
    if (size.width < 1 || size.height < 1) return;
    DXGI_SWAP_CHAIN_DESC desc{};
    if (FAILED(swap_chain->GetDesc(&desc))) return;
    if (desc.BufferDesc.Width == static_cast<UINT>(size.width) &&
        desc.BufferDesc.Height == static_cast<UINT>(size.height))
        return;
    resize_swap_chain(size.width, size.height);
}

void measure_ui_scale() {
    using GetDpiFn = UINT(WINAPI*)(HWND);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto get_dpi = user32 ? reinterpret_cast<GetDpiFn>(reinterpret_cast<void*>(
                                GetProcAddress(user32, "GetDpiForWindow")))
                          : nullptr;
    ui_scale = get_dpi ? static_cast<float>(get_dpi(frame_window)) / 96.0f : system_scale;
}

// The Win32 backend loads an XInput DLL and frees it at shutdown. Wine 8's XInput keeps a reader
// thread that outlives the DLL, so the hand-off to the game (which shuts the backend down) left
// that thread running unmapped code and the process crashed. Pinned, the DLL stays for good.
static void pin_xinput() {
    static const wchar_t* const names[] = {L"xinput1_4.dll", L"xinput1_3.dll", L"xinput9_1_0.dll",
                                           L"xinput1_2.dll", L"xinput1_1.dll"};
    for (const wchar_t* name : names) {
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &module);
    }
}

void init_ui() {
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard | ImGuiConfigFlags_NavEnableGamepad;
    load_fonts(ui_scale);
    ImGui::GetStyle().ScaleAllSizes(ui_scale);
    ImGui_ImplWin32_Init(child_window);
    pin_xinput();
    ImGui_ImplDX11_Init(device, device_context);
    ui_ready = true;
}

void begin_ui_frame() {
    ImGui_ImplDX11_NewFrame();
    ImGui_ImplWin32_NewFrame();
    ImGui::NewFrame();
}

bool window_visible() {
    if (!swap_chain_occluded) return true;
    const HRESULT result = swap_chain->Present(0, DXGI_PRESENT_TEST);
    if (is_device_loss(result)) {
        lose_device(result);
        return false;
    }
    if (result == DXGI_STATUS_OCCLUDED) {
        Sleep(10);
        return false;
    }
    swap_chain_occluded = false;
    return true;
}

static LONGLONG ticks_now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

static LONGLONG ticks_per_second() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

DWORD monitor_refresh_rate(HMONITOR monitor) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    if (!GetMonitorInfoW(monitor, &info) ||
        !EnumDisplaySettingsW(info.szDevice, ENUM_CURRENT_SETTINGS, &mode))
        return 60;
    // 0 and 1 both mean "the hardware's default".
    return mode.dmDisplayFrequency > 1 ? mode.dmDisplayFrequency : 60;
}

static LONGLONG refresh_interval() {
    const HMONITOR monitor = MonitorFromWindow(frame_window, MONITOR_DEFAULTTONEAREST);
    if (monitor != paced_monitor || frame_interval == 0) {
        paced_monitor = monitor;
        frame_interval = ticks_per_second() / refresh_rate_fn(monitor);
    }
    return frame_interval;
}

void forget_refresh_rate() { paced_monitor = nullptr; }

static HANDLE create_frame_timer() {
    // Systems (and Wine versions) without high-resolution timers refuse the flag.
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
    if (!timer) timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    return timer;
}

// Where Present does not wait for the vertical blank, the rest of the refresh interval is waited
// out before the next frame (in frame_due, so messages are handled meanwhile).
static void pace_after_present() {
    const LONGLONG now = ticks_now();
    const LONGLONG due = last_frame_time + refresh_interval();
    if (last_frame_time == 0 || now >= due) {
        last_frame_time = now;
        return;
    }
    if (!frame_timer) frame_timer = create_frame_timer();
    const LONGLONG wait_100ns = (due - now) * 10000000 / ticks_per_second();
    if (!frame_timer) {
        Sleep(static_cast<DWORD>(wait_100ns / 10000));
        last_frame_time = ticks_now();
        return;
    }
    LARGE_INTEGER when;
    when.QuadPart = -wait_100ns;  // negative: relative to now
    frame_timer_set = SetWaitableTimer(frame_timer, &when, 0, nullptr, nullptr, FALSE) != 0;
    if (!frame_timer_set) last_frame_time = now;
}

bool frame_due() {
    if (!frame_timer_set) return true;
    const DWORD woke =
        MsgWaitForMultipleObjectsEx(1, &frame_timer, 100, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0 + 1) return false;  // input first; the timer stays set
    frame_timer_set = false;
    last_frame_time = ticks_now();
    return true;
}

// Waits until the device has done all the work of the frame, Present included. Wine 8 with its
// command-stream thread deadlocks when the main thread handles a window move or resize (X display
// locked, XSync) while that thread still executes a Present (it needs the same lock for an X
// error); with nothing in flight while messages are handled, that cannot happen. Bounded, so a
// device that never reports cannot freeze the loop.
static void wait_for_frame_work() {
    if (!frame_done) {
        D3D11_QUERY_DESC desc{D3D11_QUERY_EVENT, 0};
        if (FAILED(device->CreateQuery(&desc, &frame_done))) return;
    }
    device_context->End(frame_done);
    const LONGLONG start = ticks_now();
    const LONGLONG spin = ticks_per_second() / 500;  // 2 ms: a GPU's frame is done by then
    const LONGLONG limit = ticks_per_second();
    BOOL done = FALSE;
    while (device_context->GetData(frame_done, &done, sizeof done, 0) == S_FALSE) {
        const LONGLONG waited = ticks_now() - start;
        if (waited > limit) return;
        if (waited < spin)
            SwitchToThread();
        else
            Sleep(1);
    }
}

void render_frame() {
    ImGui::Render();
    if (device_lost) return;  // lost by a resize during this frame
    // No view (a failed resize): present without drawing rather than clear a null target.
    if (render_target_view) {
        device_context->OMSetRenderTargets(1, &render_target_view, nullptr);
        device_context->ClearRenderTargetView(render_target_view, clear_colour);
        ImGui_ImplDX11_RenderDrawData(ImGui::GetDrawData());
    }
    const HRESULT result = swap_chain->Present(1, 0);
    if (is_device_loss(result)) {
        lose_device(result);
        return;
    }
    wait_for_frame_work();
    swap_chain_occluded = result == DXGI_STATUS_OCCLUDED;
    if (!swap_chain_occluded) pace_after_present();
}
