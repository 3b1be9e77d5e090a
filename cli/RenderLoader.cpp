#include "cli/RenderModule.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "base/Errors.h"

namespace orvane {

namespace {

namespace fs = std::filesystem;

// Where the module may be: beside the program (the build tree), then where an installation
// puts it relative to the program's folder.
std::vector<fs::path> Candidates()
{
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    std::vector<fs::path> out;
    if (!error) {
        out.push_back(self.parent_path() / kRenderModuleName);
        out.push_back(self.parent_path() / ORVANE_RENDER_MODULE_RELDIR / kRenderModuleName);
    }
    return out;
}

const RenderInterface& Load()
{
    std::string why = "not found";
    for (const fs::path& candidate : Candidates()) {
        std::error_code error;
        if (!fs::exists(candidate, error))
            continue;
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* message = dlerror();
            why = message ? message : "cannot be opened";
            continue;
        }
        using Entry = const RenderInterface* (*)();
        auto entry = reinterpret_cast<Entry>(dlsym(handle, kRenderEntryPoint));
        const RenderInterface* api = entry ? entry() : nullptr;
        if (api && api->version == kRenderInterfaceVersion)
            return *api;
        why = "it belongs to another build";
    }
    throw FileError(std::string("Cannot load the image module \"") + kRenderModuleName + "\": " + why + ".");
}

const RenderInterface* g_loaded = nullptr;

} // namespace

const RenderInterface& LoadRenderModule()
{
    if (!g_loaded)
        g_loaded = &Load();
    return *g_loaded;
}

void UnloadRenderModule()
{
    if (g_loaded)
        g_loaded->shutdown();
}

} // namespace orvane
