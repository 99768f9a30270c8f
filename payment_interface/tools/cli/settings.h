// vortal-cli settings [--library PATH] [--json]: the till's configuration as the library reads
// it, and what a person must fix in it.
#pragma once

// Takes the arguments after "settings". Exit code 0 when nothing needs fixing, 1 when
// something does (or the library cannot be loaded), 2 for bad arguments.
int run_settings(int argc, char** argv);
