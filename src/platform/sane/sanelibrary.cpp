// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sane/sanelibrary.h"

#include "platform/sane/saneapi_p.h"

#include <QFile>

#include <dlfcn.h>
#include <map>
#include <mutex>

namespace {

template <typename Function> bool resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

bool resolveAll(SaneApi& api) {
    void* l = api.library;
    return resolve(l, "sane_init", api.init) && resolve(l, "sane_exit", api.exit) &&
           resolve(l, "sane_get_devices", api.getDevices) && resolve(l, "sane_open", api.open) &&
           resolve(l, "sane_close", api.close) &&
           resolve(l, "sane_get_option_descriptor", api.getOptionDescriptor) &&
           resolve(l, "sane_control_option", api.controlOption) &&
           resolve(l, "sane_get_parameters", api.getParameters) &&
           resolve(l, "sane_start", api.start) && resolve(l, "sane_read", api.read) &&
           resolve(l, "sane_cancel", api.cancel) && resolve(l, "sane_strstatus", api.strstatus);
}

QString text(const char* value) {
    return value ? QString::fromUtf8(value) : QString();
}

} // namespace

QString SaneDeviceInfo::displayName() const {
    QString label = QStringLiteral("%1 %2").arg(vendor, model).trimmed();
    if (label.isEmpty()) {
        return name;
    }
    return QStringLiteral("%1 (%2)").arg(label, name);
}

SaneLibrary* SaneLibrary::load(const QString& fileName) {
    // A loaded library stays loaded and initialised until the process ends: the map is never
    // freed and sane_exit is never called.
    static std::mutex mutex;
    static auto* libraries = new std::map<QString, SaneLibrary*>();
    const std::lock_guard<std::mutex> lock(mutex);
    if (const auto found = libraries->find(fileName); found != libraries->end()) {
        return found->second;
    }
    void* handle = dlopen(QFile::encodeName(fileName).constData(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return nullptr;
    }
    auto api = std::make_unique<SaneApi>();
    api->library = handle;
    SANE_Int version = 0;
    if (!resolveAll(*api) || api->init(&version, nullptr) != SANE_STATUS_GOOD) {
        dlclose(handle);
        return nullptr;
    }
    auto* library = new SaneLibrary(std::move(api));
    libraries->emplace(fileName, library);
    return library;
}

SaneLibrary::SaneLibrary(std::unique_ptr<SaneApi> api) : m_api(std::move(api)) {}

SaneLibrary::~SaneLibrary() = default;

QList<SaneDeviceInfo> SaneLibrary::devices() {
    QList<SaneDeviceInfo> result;
    const SANE_Device** list = nullptr;
    if (m_api->getDevices(&list, SANE_FALSE) != SANE_STATUS_GOOD || list == nullptr) {
        return result;
    }
    for (int i = 0; list[i] != nullptr; ++i) {
        const SANE_Device* device = list[i];
        if (device->name == nullptr) {
            continue;
        }
        result.append(
            {text(device->name), text(device->vendor), text(device->model), text(device->type)});
    }
    return result;
}

std::unique_ptr<SaneDevice> SaneLibrary::open(const QString& name, QString* error) {
    SANE_Handle handle = nullptr;
    const SANE_Status status = m_api->open(name.toUtf8().constData(), &handle);
    if (status != SANE_STATUS_GOOD || handle == nullptr) {
        *error =
            QStringLiteral("cannot open scanner %1: %2").arg(name, text(m_api->strstatus(status)));
        return nullptr;
    }
    return std::unique_ptr<SaneDevice>(new SaneDevice(m_api.get(), handle, name));
}
