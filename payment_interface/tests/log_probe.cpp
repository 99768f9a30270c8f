// Writes one log entry, the first argument, as the library does inside a host program: the
// log tests run copies of this program to see where the log goes without a registry value.
#include "log.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    vortal::write_log("%s\n", argv[1]);
    return 0;
}
