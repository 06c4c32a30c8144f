// A process of its own that takes units from a lot, for the pool tests:
//   pool_worker URL LOT burn N   reserves and commits N units, printing "unit INDEX" for each
//   pool_worker URL LOT hold     reserves one unit, prints "held INDEX" and waits to be killed
#include "IdentityPool.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 4)
        return 64;
    QCoreApplication app(argc, argv);
    const std::string url = argv[1], lot = argv[2], mode = argv[3];
    PoolResult r;
    std::unique_ptr<IIdentityPool> pool = OpenIdentityPool(url, ".", false, r);
    if (!pool) {
        std::fprintf(stderr, "%s\n", r.message.c_str());
        return 1;
    }
    const std::string port = "worker-" + std::to_string(getpid());
    if (mode == "hold") {
        PoolUnit unit;
        r = pool->Reserve(lot, port, unit);
        if (!r.Ok()) {
            std::fprintf(stderr, "%s\n", r.message.c_str());
            return 1;
        }
        std::printf("held %llu\n", static_cast<unsigned long long>(unit.index));
        std::fflush(stdout);
        for (;;)
            pause();
    }
    const int n = argc > 4 ? std::atoi(argv[4]) : 1;
    for (int i = 0; i < n; ++i) {
        PoolUnit unit;
        r = pool->Reserve(lot, port, unit);
        if (r.Ok())
            r = pool->Commit(unit, {port, unit.Id(), "", "record " + unit.mac});
        if (!r.Ok()) {
            std::fprintf(stderr, "%s\n", r.message.c_str());
            return 1;
        }
        std::printf("unit %llu\n", static_cast<unsigned long long>(unit.index));
    }
    return 0;
}
