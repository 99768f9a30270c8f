// A point-of-sale program that calls the library from threads of its own (CreateThread on
// Windows, std::thread elsewhere), then leaves main; run_thread_exit.sh checks that the
// process is gone soon after it said "leaving main". Against the substitute aggregator named
// by the INI beside the library (agent A1, key k3y, orders never paid).
//   thread_exit_caller one-call LIBRARY       one Z3 on one thread; the library stays loaded
//   thread_exit_caller many-calls LIBRARY     8 threads x 30 calls, then the library unloaded
//   thread_exit_caller still-running LIBRARY  main leaves while a thread polls a scan-pay
// Exit code 0 when every record read as expected.
#if defined(_WIN32)
#include <windows.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "vortal.h"
#include "vortal_library.h"

namespace {

// A thread the library did not create, the way the caller's platform makes them.
class CallerThread {
  public:
    explicit CallerThread(std::function<void()> work) : work_(std::move(work)) {
#if defined(_WIN32)
        handle_ = CreateThread(nullptr, 0, &CallerThread::run, this, 0, nullptr);
#else
        thread_ = std::thread(work_);
#endif
    }
    void join() {
#if defined(_WIN32)
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
#else
        thread_.join();
#endif
    }
    // Left running when main returns.
    void leave() {
#if defined(_WIN32)
        CloseHandle(handle_);
#else
        thread_.detach();
#endif
    }

  private:
#if defined(_WIN32)
    static DWORD WINAPI run(void* self) {
        static_cast<CallerThread*>(self)->work_();
        return 0;
    }
    HANDLE handle_ = nullptr;
#else
    std::thread thread_;
#endif
    std::function<void()> work_;
};

bool has(const char* field, const char* expected) {
    return std::strcmp(field, expected) == 0;
}

// Creates an order, then queries it: the record must hold this thread's order, whole.
bool create_and_query(VortalLibrary::Transact transact, const std::string& amount,
                      std::set<const TransResult*>& records) {
    const TransResult* created = transact(("Z3|A1|k3y|" + amount + "|cake||").c_str());
    records.insert(created);
    if (!has(created->code, "00") || created->request_id[0] == '\0') return false;
    const std::string id = created->request_id;
    const TransResult* queried = transact(("Z4|A1|k3y|" + id + "|").c_str());
    records.insert(queried);
    return has(queried->code, "00") && has(queried->status, "INIT") &&
           has(queried->request_id, id.c_str()) && has(queried->amount, amount.c_str());
}

int one_call(VortalLibrary::Transact transact) {
    bool created = false;
    CallerThread worker([&] {
        const TransResult* result = transact("Z3|A1|k3y|1.00|cake||");
        created = has(result->code, "00");
    });
    worker.join();
    return created ? 0 : 1;
}

int many_calls(VortalLibrary::Transact transact) {
    constexpr int kThreads = 8;
    constexpr int kRoundsEach = 15;  // a create and a query each
    std::vector<std::set<const TransResult*>> records(kThreads);
    std::vector<int> wrong(kThreads, 0);
    std::vector<CallerThread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string amount = std::to_string(t + 1) + ".01";
            for (int round = 0; round < kRoundsEach; ++round) {
                if (!create_and_query(transact, amount, records[t])) ++wrong[t];
            }
        });
    }
    for (CallerThread& thread : threads) thread.join();

    std::set<const TransResult*> all;
    int status = 0;
    for (int t = 0; t < kThreads; ++t) {
        if (wrong[t] != 0 || records[t].size() != 1) {
            std::fprintf(stderr, "thread %d: %d rounds wrong, %zu records\n", t, wrong[t],
                         records[t].size());
            status = 1;
        }
        all.insert(records[t].begin(), records[t].end());
    }
    if (all.size() != kThreads) {
        std::fprintf(stderr, "%zu records for %d threads\n", all.size(), kThreads);
        status = 1;
    }
    return status;
}

int still_running(VortalLibrary::Transact transact) {
    CallerThread worker([transact] { transact("Z1|A1|k3y|134567890123456789|1.00|C1|"); });
    std::this_thread::sleep_for(std::chrono::seconds(1));
    worker.leave();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: thread_exit_caller one-call|many-calls|still-running LIBRARY\n");
        return 2;
    }
    const std::string scenario = argv[1];
    // Loaded for good, as a till that exits without unloading it; many-calls unloads it.
    // (A static pointer: a leak checker sees it as still reachable.)
    static VortalLibrary* const library = new VortalLibrary(argv[2]);
    if (library->transact() == nullptr) {
        std::fprintf(stderr, "%s\n", library->error().c_str());
        return 1;
    }
    int status = 2;
    if (scenario == "one-call") {
        status = one_call(library->transact());
    } else if (scenario == "many-calls") {
        status = many_calls(library->transact());
        delete library;
    } else if (scenario == "still-running") {
        status = still_running(library->transact());
    }
    std::printf("leaving main\n");
    std::fflush(stdout);
    return status;
}
