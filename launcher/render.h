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
extern bool swap_chain_occluded;  // the last Present said the window cannot be seen
extern bool device_lost;          // no device since a loss; re-created about once a second

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
// Gives the back buffers the child's client size when they differ (sizes missed before init_ui).
void fit_swap_chain_to_child();
void measure_ui_scale();
void init_ui();
void begin_ui_frame();
void render_frame();

// Between frames, each false when no frame may be drawn now (the wait has been done):
// a lost device not yet back, an occluded window, a frame that would come too soon.
bool device_ready();
bool window_visible();
bool frame_due();
// A monitor's refresh rate in Hz (60 when it reports none); replaceable for tests.
DWORD monitor_refresh_rate(HMONITOR monitor);
using RefreshRateFn = DWORD (*)(HMONITOR);
extern RefreshRateFn refresh_rate_fn;
// The refresh rate is measured again on the next frame (the display changed).
void forget_refresh_rate();
// Releases the view, swap chain, context and device (the only place that does).
void release_device_objects();
// Everything of this file that outlives a frame: device objects and the frame timer.
void release_render_objects();
