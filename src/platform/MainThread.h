#pragma once

#include <functional>

// Runs work on the application's main thread and waits for it. Called on
// the main thread itself it runs the work directly: a blocking queued call
// to one's own thread would never return.
namespace MainThread {
void invokeAndWait(const std::function<void()> &work);
[[nodiscard]] bool isMainThread();
} // namespace MainThread
