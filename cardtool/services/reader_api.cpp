#include "services/reader_api.h"

#include <dlfcn.h>

#include "services/message_boxes.h"

QString LibraryBinding::fileName() { return QStringLiteral("libVarrok.so"); }

LibraryBinding::~LibraryBinding() { unload(); }

bool LibraryBinding::bind(const QString& folder, MessageBoxes& boxes) {
    unload();
    // A full path: a bare name would be looked up along the system's library
    // path, and a stray library elsewhere must never stand in for ours.
    const QString path = folder + QLatin1Char('/') + fileName();
    handle_ = ::dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        boxes.show(nullptr, QStringLiteral("Cann't load %1!").arg(fileName()), QStringLiteral("Oskelle"),
                   MessageBoxes::Stop, MessageBoxes::Ok);
        return false;
    }
    api_ = ReaderApi{};
    const char* missing = nullptr;
#define OSKELLE_BIND_ENTRY(name)                                                                             \
    if (missing == nullptr) {                                                                                \
        api_.name.fn = reinterpret_cast<decltype(api_.name.fn)>(::dlsym(handle_, #name));                    \
        api_.name.calls = &calls_;                                                                           \
        if (api_.name == nullptr) missing = #name;                                                           \
    }
    OSKELLE_READER_ENTRIES(OSKELLE_BIND_ENTRY)
#undef OSKELLE_BIND_ENTRY
    if (missing != nullptr) {
        // Name the file that was really loaded, so the user knows which copy is incomplete.
        boxes.show(nullptr,
                   QStringLiteral("Load %1 failed! func<%2> cann't be found.")
                       .arg(fileName(), QString::fromLatin1(missing)),
                   QStringLiteral("Oskelle"), MessageBoxes::Stop, MessageBoxes::Ok);
        unload();
        return false;
    }
    return true;
}

void LibraryBinding::unload() {
    // A call still in flight finishes (within its time-out) before its code goes.
    calls_.waitIdle();
    if (handle_ != nullptr) ::dlclose(handle_);
    handle_ = nullptr;
    api_ = ReaderApi{};
}
