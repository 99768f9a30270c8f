// Load and unload hooks of the shared library, the counterpart of DllMain's process attach and
// detach. They belong to libvortal.so alone: a program that links the library's code (the
// command-line tool, the tests) is not the library, and would find no library file of its own.
#include "library.h"

namespace {

__attribute__((constructor)) void attach_to_process() {
    vortal::on_library_load();
}

__attribute__((destructor)) void detach_from_process() {
    vortal::on_library_unload();
}

}  // namespace
