// Takes the single-instance lock in the directory given; exits 0 when it got
// it and 1 when another copy holds it. With "hold" it keeps the lock until its
// standard input closes or it is killed.
#include "logstore/instance_guard.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    cvlog::InstanceGuard guard;
    if (!guard.acquire(argv[1]))
        return 1;
    if (argc > 2 && std::strcmp(argv[2], "hold") == 0) {
        std::puts("acquired");
        std::fflush(stdout);
        while (std::getchar() != EOF) { }
    }
    return 0;
}
