#include "launcher/render.h"

#include <imgui.h>
#include <imgui_impl_dx11.h>
#include <imgui_impl_win32.h>

#include "launcher/log.h"
#include "launcher/windows.h"
#include "screens/look.h"

ID3D11Device* device = nullptr;
ID3D11DeviceContext* device_context = nullptr;
IDXGISwapChain* swap_chain = nullptr;
ID3D11RenderTargetView* render_target_view = nullptr;
bool ui_ready = false;
float ui_scale = 1.0f;
const float clear_colour[4] = {0.07f, 0.08f, 0.10f, 1.00f};
CreateDeviceFn create_device_fn = D3D11CreateDeviceAndSwapChain;

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

bool create_device() {
    if (!child_window) return false;
    HRESULT result = create_device_of_type(D3D_DRIVER_TYPE_HARDWARE);
    if (result == DXGI_ERROR_UNSUPPORTED) result = create_device_of_type(D3D_DRIVER_TYPE_WARP);
    if (FAILED(result)) {
        launcher_log("D3D11 device creation failed: 0x%08lX", static_cast<unsigned long>(result));
        return false;
    }
    IDXGIFactory* factory = nullptr;
    if (SUCCEEDED(swap_chain->GetParent(__uuidof(IDXGIFactory), reinterpret_cast<void**>(&factory)))) {
        factory->MakeWindowAssociation(child_window, DXGI_MWA_NO_ALT_ENTER);
        factory->Release();
    }
    create_render_target();
    return true;
}

void report_device_failure() {
    MessageBoxW(nullptr, L"Varnis could not open its window (Direct3D 11 is required).", L"Varnis",
                MB_ICONERROR);
}

void create_render_target() {
    ID3D11Texture2D* buffer = nullptr;
    if (FAILED(swap_chain->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&buffer))))
        return;
    device->CreateRenderTargetView(buffer, nullptr, &render_target_view);
    buffer->Release();
}

void resize_swap_chain(unsigned width, unsigned height) {
    if (render_target_view) {
        render_target_view->Release();
        render_target_view = nullptr;
    }
    swap_chain->ResizeBuffers(0, width, height, DXGI_FORMAT_UNKNOWN, 0);
    create_render_target();
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

void render_frame() {
    ImGui::Render();
    // No view (a failed resize): present without drawing rather than clear a null target.
    if (render_target_view) {
        device_context->OMSetRenderTargets(1, &render_target_view, nullptr);
        device_context->ClearRenderTargetView(render_target_view, clear_colour);
        ImGui_ImplDX11_RenderDrawData(ImGui::GetDrawData());
    }
    swap_chain->Present(1, 0);
}
