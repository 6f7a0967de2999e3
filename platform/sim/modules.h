// The library loader of the simulated Windows machine: libraries are tables of exports, present
// in a folder only while a file of their name lies there in the simulated file system.
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

class SimSystem;

class SimModules : public plat::IModules {
  public:
    explicit SimModules(SimSystem& system);
    ~SimModules() override;
    SimModules(const SimModules&) = delete;
    SimModules& operator=(const SimModules&) = delete;

    // Makes a library with these exports loadable under its file name (case-insensitive) and
    // puts a file of that name beside the executable (remove it to "delete" the library).
    void Register(const std::string& fileName, std::map<std::string, void*> exports);
    // Forgets a library; modules already loaded keep their exports.
    void Unregister(const std::string& fileName);

    // One load or free of a library, in the order they happened.
    struct Event {
        enum Kind { Load, LoadFailed, Free } kind;
        std::string name;  // as the caller gave it
        std::string path;  // the file it resolved to (empty when the load failed)
    };
    std::vector<Event> Events() const;
    // Successful loads and frees so far, and the modules still loaded.
    int Loads() const;
    int Frees() const;
    int LiveModules() const { return Loads() - Frees(); }
    // Live modules of one library (by file name, case-insensitive).
    int LiveModules(const std::string& fileName) const;

    // ---- plat::IModules ----
    // A bare name is searched in the executable's folder, then C:\Windows\System32, then the
    // current directory unless it was taken out of the search; ".dll" is added to a name
    // without extension. A path is taken as it is.
    std::unique_ptr<plat::IModule> LoadLibrary(const std::string& name) override;

    struct State;  // shared with loaded modules, so a module may outlive the machine safely

  private:
    SimSystem& m_system;
    std::shared_ptr<State> m_state;
};

}  // namespace sim
