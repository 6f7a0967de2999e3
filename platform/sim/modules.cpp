#include "platform/sim/modules.h"

#include "platform/sim/system.h"

namespace sim {

struct SimModules::State {
    std::mutex mutex;
    // By folded file name.
    std::map<std::string, std::shared_ptr<const std::map<std::string, void*>>> libraries;
    std::vector<Event> events;
    std::map<std::string, int> live;  // by folded file name
    int loads = 0, frees = 0;
};

namespace {

class SimModule : public plat::IModule {
  public:
    SimModule(std::shared_ptr<SimModules::State> state, std::string key,
              std::shared_ptr<const std::map<std::string, void*>> exports, std::string name,
              std::string path)
        : m_state(std::move(state)),
          m_key(std::move(key)),
          m_exports(std::move(exports)),
          m_name(std::move(name)),
          m_path(std::move(path)) {}
    ~SimModule() override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        ++m_state->frees;
        --m_state->live[m_key];
        m_state->events.push_back({SimModules::Event::Free, m_name, m_path});
    }
    void* GetProcAddress(const char* name) override {
        if (!name) return nullptr;
        auto it = m_exports->find(name);  // export names are case-sensitive
        return it == m_exports->end() ? nullptr : it->second;
    }

  private:
    std::shared_ptr<SimModules::State> m_state;
    std::string m_key;
    std::shared_ptr<const std::map<std::string, void*>> m_exports;
    std::string m_name, m_path;
};

std::string FileNameOf(const std::string& path, int codePage) {
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsLeadByte(codePage, static_cast<uint8_t>(path[i]))) {
            ++i;
        } else if (path[i] == '\\' || path[i] == '/' || path[i] == ':') {
            start = i + 1;
        }
    }
    return path.substr(start);
}

}  // namespace

SimModules::SimModules(SimSystem& system) : m_system(system), m_state(std::make_shared<State>()) {}

SimModules::~SimModules() = default;

void SimModules::Register(const std::string& fileName, std::map<std::string, void*> exports) {
    std::string key = FoldAnsi(fileName, m_system.CodePage());
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->libraries[key] =
            std::make_shared<const std::map<std::string, void*>>(std::move(exports));
    }
    std::string path = m_system.ExeDir() + "\\" + fileName;
    if (!m_system.HasFile(path)) m_system.AddFile(path, "MZ");
}

void SimModules::Unregister(const std::string& fileName) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->libraries.erase(FoldAnsi(fileName, m_system.CodePage()));
}

std::vector<SimModules::Event> SimModules::Events() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->events;
}

int SimModules::Loads() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->loads;
}

int SimModules::Frees() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->frees;
}

int SimModules::LiveModules(const std::string& fileName) const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    auto it = m_state->live.find(FoldAnsi(fileName, m_system.CodePage()));
    return it == m_state->live.end() ? 0 : it->second;
}

std::unique_ptr<plat::IModule> SimModules::LoadLibrary(const std::string& name) {
    const int cp = m_system.CodePage();
    std::string fileName = FileNameOf(name, cp);
    bool bare = fileName.size() == name.size();
    // Windows adds ".dll" to a name without extension; a trailing dot means "no extension".
    std::string withExt = name;
    if (!fileName.empty() && fileName.back() == '.') {
        withExt.pop_back();
        fileName.pop_back();
    } else if (fileName.find('.') == std::string::npos) {
        withExt += ".dll";
        fileName += ".dll";
    }
    std::vector<std::string> candidates;
    if (bare) {
        candidates.push_back(m_system.ExeDir() + "\\" + withExt);
        candidates.push_back("C:\\Windows\\System32\\" + withExt);
        if (m_system.CurrentDirectoryInDllSearch()) candidates.push_back(withExt);
    } else {
        candidates.push_back(withExt);
    }
    std::string key = FoldAnsi(fileName, cp);
    std::lock_guard<std::mutex> lock(m_state->mutex);
    auto lib = m_state->libraries.find(key);
    if (!fileName.empty() && lib != m_state->libraries.end()) {
        for (const auto& c : candidates) {
            if (!m_system.HasFile(c)) continue;
            std::string path = m_system.Resolve(c);
            ++m_state->loads;
            ++m_state->live[key];
            m_state->events.push_back({Event::Load, name, path});
            return std::make_unique<SimModule>(m_state, key, lib->second, name, path);
        }
    }
    m_state->events.push_back({Event::LoadFailed, name, {}});
    return nullptr;
}

}  // namespace sim
