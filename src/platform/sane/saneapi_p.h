// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Entry points of the scanner library, looked up with dlsym. Only the platform layer's sane
// folder includes this header and with it the SANE types.

#include <sane/sane.h>

struct SaneApi {
    void* library = nullptr;
    decltype(&sane_init) init = nullptr;
    decltype(&sane_exit) exit = nullptr;
    decltype(&sane_get_devices) getDevices = nullptr;
    decltype(&sane_open) open = nullptr;
    decltype(&sane_close) close = nullptr;
    decltype(&sane_get_option_descriptor) getOptionDescriptor = nullptr;
    decltype(&sane_control_option) controlOption = nullptr;
    decltype(&sane_get_parameters) getParameters = nullptr;
    decltype(&sane_start) start = nullptr;
    decltype(&sane_read) read = nullptr;
    decltype(&sane_cancel) cancel = nullptr;
    decltype(&sane_strstatus) strstatus = nullptr;
};
