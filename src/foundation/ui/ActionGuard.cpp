#include "ActionGuard.h"

#include "ErrorReporter.h"

bool ActionGuard::run(const std::function<void()> &action, QWidget *window) noexcept
{
    try {
        if (action)
            action();
        return true;
    } catch (...) {
        ErrorReporter::reportCurrentException(window);
        return false;
    }
}
