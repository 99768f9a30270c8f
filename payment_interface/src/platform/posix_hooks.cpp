// Load and unload hooks of the shared library on POSIX, the counterpart of DllMain's
// process attach and detach. Linked only into the shared library.
#include "library.h"

namespace {

__attribute__((constructor)) void attach_to_process() { vortal::on_library_load(); }

__attribute__((destructor)) void detach_from_process() { vortal::on_library_unload(); }

}  // namespace
