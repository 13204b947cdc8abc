// ReaderApi: the reader library's entry points, loaded at run time from the
// tool's own folder. The card tool never links the library; every call goes
// through this table. The pointer types come from the library's own header,
// so the table cannot drift from what the library exports.
#pragma once

#include <QString>

#include <cstddef>

#include "services/library_calls.h"
#include "services/reader_entries.h"
#include "varrok.h"

class MessageBoxes;

// One entry point: called like the function itself, it runs the call through
// the binding's LibraryCalls, off the GUI thread.
template <class F> struct ReaderEntry;
template <class R, class... A> struct ReaderEntry<R (*)(A...)> {
    R (*fn)(A...) = nullptr;
    LibraryCalls* calls = nullptr;
    R operator()(A... args) const { return calls != nullptr ? calls->run(fn, args...) : fn(args...); }
    bool operator==(std::nullptr_t) const { return fn == nullptr; }
};

struct ReaderApi {
#define OSKELLE_API_ENTRY(name) ReaderEntry<decltype(&::name)> name;
    OSKELLE_READER_ENTRIES(OSKELLE_API_ENTRY)
#undef OSKELLE_API_ENTRY
};

// The number of entry points bound.
constexpr int kReaderApiEntries = 0
#define OSKELLE_COUNT_ENTRY(name) +1
    OSKELLE_READER_ENTRIES(OSKELLE_COUNT_ENTRY)
#undef OSKELLE_COUNT_ENTRY
    ;

// The loaded library and its table.
class LibraryBinding {
  public:
    // The library's file name on this platform.
    static QString fileName();

    LibraryBinding() = default;
    ~LibraryBinding();
    LibraryBinding(const LibraryBinding&) = delete;
    LibraryBinding& operator=(const LibraryBinding&) = delete;

    // Loads the library from folder (never from anywhere else) and looks up
    // every entry by its exact name, in order. A missing file or the first
    // missing name is reported in a message box; the library is then unloaded
    // and false returned.
    bool bind(const QString& folder, MessageBoxes& boxes);
    void unload();
    bool loaded() const { return handle_ != nullptr; }
    const ReaderApi& api() const { return api_; }
    LibraryCalls& calls() { return calls_; }

  private:
    LibraryCalls calls_;
    void* handle_ = nullptr;
    ReaderApi api_;
};
