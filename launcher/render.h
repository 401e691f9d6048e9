#pragma once
#include <d3d11.h>
#include <dxgi.h>

extern ID3D11Device* device;
extern ID3D11DeviceContext* device_context;
extern IDXGISwapChain* swap_chain;
extern ID3D11RenderTargetView* render_target_view;
extern bool ui_ready;
extern float ui_scale;
extern const float clear_colour[4];

// The device factory, replaceable so tests can make device creation fail.
using CreateDeviceFn = HRESULT(WINAPI*)(IDXGIAdapter*, D3D_DRIVER_TYPE, HMODULE, UINT,
                                        const D3D_FEATURE_LEVEL*, UINT, UINT,
                                        const DXGI_SWAP_CHAIN_DESC*, IDXGISwapChain**,
                                        ID3D11Device**, D3D_FEATURE_LEVEL*,
                                        ID3D11DeviceContext**);
extern CreateDeviceFn create_device_fn;

// Creates device and swap chain for child_window (WARP retry on DXGI_ERROR_UNSUPPORTED); logs a
// failure. Shows no box: the entry point does that through report_device_failure.
bool create_device();
void report_device_failure();
void create_render_target();
void resize_swap_chain(unsigned width, unsigned height);
void measure_ui_scale();
void init_ui();
void begin_ui_frame();
void render_frame();
