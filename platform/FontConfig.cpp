#include "platform/FontConfig.h"

#include <dlfcn.h>

#include <system_error>

namespace qb {

FontConfigPreload::FontConfigPreload() {
    // The library the toolkit loaded, if any: no link of our own, and no second copy.
    void* library = ::dlopen("libfontconfig.so.1", RTLD_LAZY | RTLD_NOLOAD);
    if (!library) return;
    using Init = int (*)();
    const auto init = reinterpret_cast<Init>(::dlsym(library, "FcInit"));
    if (init) {
        try {
            thread_ = std::thread(init);
        } catch (const std::system_error&) {
            // No thread to spare: the toolkit reads the configuration itself.
        }
    }
    ::dlclose(library); // the toolkit's reference keeps it loaded
}

void FontConfigPreload::wait() {
    if (thread_.joinable()) thread_.join();
}

} // namespace qb
