#include "dat/help_pages.h"
#include "dat/subcommands.h"

namespace korva::dat {

// The pages are written once, in src/dat/help/*.txt; the manual page and
// docs/korva-dat.md are made from the same files.
std::string_view HelpText(std::string_view command) {
    for (const HelpPage& page : kHelpPages) {
        if (page.command == command) {
            return page.text;
        }
    }
    return kHelpPages.front().text;
}

} // namespace korva::dat
