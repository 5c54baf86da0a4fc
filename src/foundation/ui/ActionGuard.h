#pragma once

#include <functional>

class QWidget;

// Exceptions never cross Qt's event loop: a user action runs inside this
// guard, which reports whatever it throws through ErrorReporter (as a sheet
// on the window when one is given). The application's notify() override is
// the last net:
//     bool handled = false;
//     ActionGuard::run([&] { handled = QApplication::notify(receiver, event); });
//     return handled;
namespace ActionGuard {
// True when the action ran to its end, false when it threw.
bool run(const std::function<void()> &action, QWidget *window = nullptr) noexcept;
} // namespace ActionGuard
