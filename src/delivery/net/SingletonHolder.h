#pragma once

#include <cstdlib>
#include <mutex>

namespace App {

// One shared instance of T, made on first use (by whichever thread comes
// first; the others wait) and destroyed at process exit. A constructor that
// throws leaves no instance, so the next call tries again.
template<typename T>
class SingletonHolder {
public:
    static T &sharedInstance()
    {
        std::call_once(onceFlag(), [] {
            instance() = new T();
            std::atexit(&killInstance);
        });
        return *instance();
    }

private:
    // Run at process exit only: the instance is made once.
    static void killInstance()
    {
        delete instance();
        instance() = nullptr;
    }

    static T *&instance()
    {
        static T *value = nullptr;
        return value;
    }
    static std::once_flag &onceFlag()
    {
        static std::once_flag flag;
        return flag;
    }
};

} // namespace App
