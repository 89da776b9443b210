#include <iostream>
#include <string>
#include <vector>

#include "dat/run_korva_dat.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::ios::sync_with_stdio(false);
    return korva::dat::RunKorvaDat(args, std::cout, std::cerr);
}
