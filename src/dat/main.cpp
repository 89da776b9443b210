#include <iostream>
#include <string>
#include <vector>

#include "dat/run_korva_dat.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    korva::UseBinaryConsole();
    const std::vector<std::string> args = korva::ProgramArguments(argc, argv);
    std::ios::sync_with_stdio(false);
    return korva::dat::RunKorvaDat(args, std::cout, std::cerr);
}
