#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "common/platform.h"
#include "driver/main_sequence.h"

int main(int argc, char** argv) {
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
