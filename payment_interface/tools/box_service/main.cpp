// vortal-box-service: a stand-in for the box service on a development machine. It creates the
// shared record and the upload event, with the machine number and key given, then prints the
// order number and amount of every order the library asks it to upload. SIGINT or SIGTERM
// (Ctrl+C on Windows) stops it and removes both objects.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "stand_in.h"

namespace {

volatile std::sig_atomic_t g_stopping = 0;
const box_service::StandIn* g_stand_in = nullptr;

extern "C" void on_stop_signal(int) {
    g_stopping = 1;
    if (g_stand_in != nullptr) g_stand_in->wake();  // sem_post and SetEvent may be called here
}

void usage() {
    std::fprintf(stderr,
                 "usage: vortal-box-service --machine NUMBER --key KEY\n"
                 "Creates %s and %s, prints \"ready\", then one line per uploaded\n"
                 "order until interrupted.\n",
                 box_service::kRecordName, box_service::kUploadEventName);
}

}  // namespace

int main(int argc, char** argv) {
    box_service::Setup setup;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--machine") {
            setup.machine_no = argv[i + 1];
        } else if (option == "--key") {
            setup.key = argv[i + 1];
        } else {
            usage();
            return 2;
        }
    }
    if (argc % 2 == 0 || setup.machine_no.empty() || setup.key.empty()) {
        usage();
        return 2;
    }

    try {
        box_service::StandIn stand_in(setup);
        g_stand_in = &stand_in;
        std::signal(SIGINT, on_stop_signal);
        std::signal(SIGTERM, on_stop_signal);

        std::printf("ready: machine %s\n", setup.machine_no.c_str());
        std::fflush(stdout);
        while (g_stopping == 0) {
            if (!stand_in.wait_for_upload() || g_stopping != 0) continue;
            const box_service::UploadedOrder order = stand_in.order();
            std::printf("upload: order %s amount %s\n", order.order_no.c_str(),
                        order.amount.c_str());
            std::fflush(stdout);
        }
        g_stand_in = nullptr;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vortal-box-service: %s\n", error.what());
        return 1;
    }
    return 0;
}
