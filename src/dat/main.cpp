#include <iostream>
#include <string>
#include <vector>

#include "dat/run_korva_dat.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    korva::UseBinaryConsole();
    // Piped into head, korva-dat finishes its work (a data file half
    // written is never left) and exits as it would, instead of dying of
    // SIGPIPE with its output cut.
    korva::IgnoreClosedOutput();
    const std::vector<std::string> args = korva::ProgramArguments(argc, argv);
    std::ios::sync_with_stdio(false);
    return korva::dat::RunKorvaDat(args, std::cout, std::cerr);
}
