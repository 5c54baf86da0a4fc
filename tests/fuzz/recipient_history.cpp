// Sequences of edits, undo and redo over a recipient table whose fields the
// message uses, chosen by the input's bytes (one byte a choice), through the
// driver of the randomized test (tests/app/RecipientHistoryDriver.h, which
// says what is checked after every step). A fault is printed with the steps
// that led to it.

#include "RecipientHistoryDriver.h"

#include "Localizer.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    // The undo steps' names take the field's name as the program's texts
    // have them; without the texts every step warns of a missing argument.
    Localizer::install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t next = 0;
    RecipientHistoryDriver driver([&](int bound) -> std::optional<int> {
        if (next >= size)
            return std::nullopt;
        return data[next++] % bound;
    });
    const QString fault = driver.run(400);
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "%s\nsteps:\n%s\n", qPrintable(fault), qPrintable(driver.log()));
        __builtin_trap();
    }
    return 0;
}
