// The configuration file Z_AllITrans.ini beside the library: its path, worked out once at
// load, and the read of its settings into the request record on every call.
#pragma once

#include "records.h"

namespace vortal {

inline constexpr char kConfigFileName[] = "Z_AllITrans.ini";
inline constexpr int kDefaultPort = 80;
inline constexpr int kDefaultTimeoutSeconds = 45;

// Called at load. When the library's own file cannot be found under its name, the path is
// the bare file name, which the profile reads look up in the system folder.
void set_up_config_path();
const char* config_path();

// Overwrites the configured fields of the request with the file's values or their defaults.
void read_config(const char* file, TransRequest& request);

}  // namespace vortal
