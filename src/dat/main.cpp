#include <iostream>
#include <string>
#include <vector>

#include "common/platform.h"
#include "dat/run_korva_dat.h"

int main(int argc, char** argv) {
    korva::UseBinaryConsole();
    const std::vector<std::string> args = korva::ProgramArguments(argc, argv);
    std::ios::sync_with_stdio(false);
    return korva::dat::RunKorvaDat(args, std::cout, std::cerr);
}
