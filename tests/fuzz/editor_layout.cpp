// Sequences of what an author does in the body of a formatted message,
// chosen by the input's bytes (one byte a choice, two where there are more
// than 256 to choose from), through the driver of the randomized test
// (tests/app/EditorLayoutDriver.h, which says what is checked after every
// step): the editor's lines, the HTML part as a reader lays it out and the
// plain part agree. A fault is printed with the steps that led to it.

#include "EditorLayoutDriver.h"

#include "Localizer.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Never destroyed: the window and the application object are not taken
// down in exit handlers, after Qt's own state is gone.
EditorLayoutDriver *driver = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // A private home, as the tests have: the document window reads and
    // writes preferences.
    static QTemporaryDir home;
    for (const char *name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        ::setenv(name, qPrintable(home.path()), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    new QApplication(*argc, *argv);
    Localizer::install();
    driver = new EditorLayoutDriver([](int) { return std::optional<int>(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t next = 0;
    driver->restart([&](int bound) -> std::optional<int> {
        const size_t bytes = bound > 256 ? 2 : 1;
        if (next + bytes > size)
            return std::nullopt;
        unsigned value = data[next++];
        if (bytes == 2)
            value = value << 8 | data[next++];
        return int(value % unsigned(bound));
    });
    const QString fault = driver->run(60);
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "%s\nsteps:\n%s\n", qPrintable(fault), qPrintable(driver->log()));
        __builtin_trap();
    }
    return 0;
}
