#include <iostream>
#include <string>
#include <vector>

#include "common/platform.h"
#include "driver/main_sequence.h"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '\0') { // an empty argument is dropped, as a lone "" is on Windows
            args.emplace_back(argv[i]);
        }
    }
    std::ios::sync_with_stdio(false);
    korva::IgnoreClosedOutput();
    return korva::RunKorva(args, std::cout);
}
