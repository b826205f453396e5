// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/tiff/tiffio_p.h"

#include "imaging/inputsource_p.h"

#include <cstdint>
#include <cstdio>

namespace imaging {

namespace {

int onError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    auto* messages = static_cast<TiffMessages*>(user);
    if (messages->error[0] == '\0') {
        char text[200];
        std::vsnprintf(text, sizeof text, format, args);
        std::snprintf(messages->error, sizeof messages->error, "%s%s%s", module ? module : "",
                      module ? ": " : "", text);
    }
    return 1; // handled: libtiff's process-wide handler is not called
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

tmsize_t readInput(thandle_t handle, void* data, tmsize_t size) {
    auto* input = static_cast<InputSource*>(handle);
    return size < 0 ? -1 : static_cast<tmsize_t>(input->read(data, static_cast<size_t>(size)));
}

tmsize_t writeNothing(thandle_t, void*, tmsize_t) {
    return -1;
}

// Works out a seek target; false when it would overflow.
bool seekTarget(std::uint64_t current, std::uint64_t size, toff_t offset, int whence,
                toff_t* target) {
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) {
        base = current;
    } else if (whence == SEEK_END) {
        base = size;
    }
    if (offset > UINT64_MAX - base) {
        return false;
    }
    *target = base + offset;
    return true;
}

toff_t seekInput(thandle_t handle, toff_t offset, int whence) {
    auto* input = static_cast<InputSource*>(handle);
    toff_t target = 0;
    if (!seekTarget(input->position(), input->size(), offset, whence, &target) ||
        !input->seek(target)) {
        return static_cast<toff_t>(-1);
    }
    return target;
}

toff_t inputSize(thandle_t handle) {
    return static_cast<InputSource*>(handle)->size();
}

tmsize_t readSink(thandle_t handle, void* data, tmsize_t size) {
    auto* sink = static_cast<MemorySink*>(handle);
    return size < 0 ? -1 : static_cast<tmsize_t>(sink->read(data, static_cast<size_t>(size)));
}

tmsize_t writeSink(thandle_t handle, void* data, tmsize_t size) {
    auto* sink = static_cast<MemorySink*>(handle);
    if (size < 0 || !sink->write(data, static_cast<size_t>(size))) {
        return -1;
    }
    return size;
}

toff_t seekSink(thandle_t handle, toff_t offset, int whence) {
    auto* sink = static_cast<MemorySink*>(handle);
    toff_t target = 0;
    if (!seekTarget(sink->position(), sink->size(), offset, whence, &target) ||
        !sink->seek(target)) {
        return static_cast<toff_t>(-1);
    }
    return target;
}

toff_t sinkSize(thandle_t handle) {
    return static_cast<MemorySink*>(handle)->size();
}

int closeNothing(thandle_t) {
    return 0;
}

int mapNothing(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapNothing(thandle_t, void*, toff_t) {}

TIFFOpenOptions* makeOptions(TiffMessages* messages) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options != nullptr) {
        TIFFOpenOptionsSetErrorHandlerExtR(options, onError, messages);
        TIFFOpenOptionsSetWarningHandlerExtR(options, onWarning, messages);
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, kTiffMaxSingleAlloc);
    }
    return options;
}

} // namespace

TIFF* openTiffForReading(InputSource* input, TiffMessages* messages) {
    TIFFOpenOptions* options = makeOptions(messages);
    if (options == nullptr) {
        return nullptr;
    }
    TIFF* tif = TIFFClientOpenExt("image", "r", input, readInput, writeNothing, seekInput,
                                  closeNothing, inputSize, mapNothing, unmapNothing, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

TIFF* openTiffForWriting(MemorySink* sink, TiffMessages* messages) {
    TIFFOpenOptions* options = makeOptions(messages);
    if (options == nullptr) {
        return nullptr;
    }
    TIFF* tif = TIFFClientOpenExt("image", "w", sink, readSink, writeSink, seekSink, closeNothing,
                                  sinkSize, mapNothing, unmapNothing, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

} // namespace imaging
