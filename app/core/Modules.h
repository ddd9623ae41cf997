#pragma once

#include "core/DB.h"
#include "core/Options.h"
#include "core/Usage.h"

#include <functional>
#include <memory>

namespace Ombrelay
{

// One start-up (or shut-down) step with no object of its own.
class TModuleStep
{
public:
    explicit TModuleStep(const std::function<void()>& Start, std::function<void()> Stop = {})
        : FStop(std::move(Stop))
    {
        if (Start) {
            Start();
        }
    }
    ~TModuleStep()
    {
        if (FStop) {
            try {
                FStop();
            } catch (...) {
            }
        }
    }
    TModuleStep(const TModuleStep&) = delete;
    TModuleStep& operator=(const TModuleStep&) = delete;

private:
    std::function<void()> FStop;
};

// Owns one process-wide instance and publishes it through its global pointer for its lifetime.
template <class T>
class TModuleGlobal
{
public:
    template <class Factory>
    TModuleGlobal(T*& Global, Factory Make)
        : FGlobal(Global)
    {
        // Two start-ups at once would leave one instance unowned.
        OMBRELAY_ASSERT("Core.Modules", FGlobal == nullptr);
        FObject = Make();
        FGlobal = FObject.get();
    }
    ~TModuleGlobal()
    {
        // Cleared first, so nothing reaches an instance that is going away.
        FGlobal = nullptr;
        FObject.reset();
    }
    TModuleGlobal(const TModuleGlobal&) = delete;
    TModuleGlobal& operator=(const TModuleGlobal&) = delete;

    T* Get() const { return FObject.get(); }

private:
    T*& FGlobal;
    std::unique_ptr<T> FObject;
};

// The module start-up and shut-down, in one place. The members are declared in start-up
// order, so C++ destroys them in the shut-down order: the usage thread's final write still
// reaches the open database, which closes last. If a step raises, the steps before it are
// undone in reverse and the exception leaves the constructor: the program does not start.
//
// Every start of the program creates one TModules before anything else, a second instance
// that hands over to the first included.
class TModules
{
public:
    TModules();
    ~TModules();
    TModules(const TModules&) = delete;
    TModules& operator=(const TModules&) = delete;

private:
    // The SMS codec's alphabet tables.
    TModuleStep FSmsTables;
    // The two named program markers.
    TModuleStep FNamedMarkers;
    // The database file and its schema.
    TModuleGlobal<TDatabase> FDatabase;
    // Sockets and the echo (ICMP) entry points.
    TModuleStep FSockets;
    // The settings, empty until the main window loads them.
    TModuleGlobal<TOptions> FOptions;
    // The usage thread, sampling from here on; its destructor stops it and writes once more.
    TModuleGlobal<TUsageThread> FUsageThread;
};

} // namespace Ombrelay
