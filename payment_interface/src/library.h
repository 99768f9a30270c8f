// What the library does when the process loads and unloads it. The platform's hooks
// (DllMain on Windows, constructor and destructor functions on POSIX) call these.
#pragma once

namespace vortal {

void on_library_load();
void on_library_unload();

}  // namespace vortal
