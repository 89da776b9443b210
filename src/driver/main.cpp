#include <iostream>
#include <string>
#include <utility>
#include <vector>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "driver/main_sequence.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
#if defined(__GLIBC__)
    // The second thread would get a heap of its own, whose free room the
    // first cannot use: on a large target, megabytes more at the peak. It
    // allocates rarely, so sharing one heap costs no time.
    (void)mallopt(M_ARENA_MAX, 1);
#endif
    korva::UseBinaryConsole();
    std::vector<std::string> args;
    for (std::string& arg : korva::ProgramArguments(argc, argv)) {
        if (!arg.empty()) { // an empty argument is dropped, as a lone "" is on Windows
            args.push_back(std::move(arg));
        }
    }
    std::ios::sync_with_stdio(false);
    korva::IgnoreClosedOutput();
    return korva::RunKorva(args, std::cout);
}
