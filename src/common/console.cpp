#include "common/console.h"

#include <iostream>

#include "common/settings.h"

namespace korva {
namespace {
std::ostream* console = &std::cout;
} // namespace

void SetConsole(std::ostream& out) {
    console = &out;
}

std::ostream& Console() {
    return *console;
}

void WriteLine(std::string_view text) {
    console->write(text.data(), static_cast<std::streamsize>(text.size()));
    console->write("\r\n", 2);
}

void LogLine(std::string_view text) {
    if (!QuietMode) {
        WriteLine(text);
    }
}

} // namespace korva
