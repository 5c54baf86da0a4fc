#pragma once

#include <exception>

// The connection framework's own small object model: one empty root and one
// exception root, so callers can catch everything the framework throws with
// one handler.
namespace App {

class Object {
public:
    virtual ~Object() = default;
};

class Exception : public std::exception {
public:
    const char *what() const noexcept override { return "App::Exception"; }
};

} // namespace App
