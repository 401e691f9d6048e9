// Linked into a test build of the launcher: every Direct3D 11 device creation fails.
#include "launcher/render.h"

static HRESULT WINAPI refuse_device(IDXGIAdapter*, D3D_DRIVER_TYPE, HMODULE, UINT,
                                    const D3D_FEATURE_LEVEL*, UINT, UINT,
                                    const DXGI_SWAP_CHAIN_DESC*, IDXGISwapChain**, ID3D11Device**,
                                    D3D_FEATURE_LEVEL*, ID3D11DeviceContext**) {
    return E_FAIL;
}

static const bool installed = (create_device_fn = refuse_device, true);
