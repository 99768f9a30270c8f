#include "library_lock.h"

namespace vortal {

namespace {
std::recursive_mutex g_library_lock;  // lives from load to unload
}

std::recursive_mutex& library_lock() {
    return g_library_lock;
}

}  // namespace vortal
