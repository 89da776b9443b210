// Why a data file gave no entry: the survey of its lines against the
// languages of a run, as the loader takes its entries.
#include "datafile/data_file_reasons.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datafile_support.h"
#include "langkeys/lang_const.h"

namespace korva {
namespace {

using test::Lines;

TEST(WhyNoEntryWasTaken, NamesWhatTheFileLacks) {
    struct Case {
        const char* what;
        std::string data;
        LangSelection languages;
        CodePage codePage;
        std::string reason;
    };
    const LangSelection germanFrench = test::Selection("ENGLISH", {"GERMAN", "FRENCH"});
    const std::vector<Case> cases = {
        {"empty", "", germanFrench, CodePage::Windows1252, "d.dat holds no entries"},
        {"comments only", Lines({"; GERMAN,\"x\"", "", "; (", "; )"}), germanFrench,
         CodePage::Windows1252, "d.dat holds no entries"},
        {"no neutral", Lines({"(", "GERMAN,\"Auf\"", "it-IT,\"Apri\"", ")"}), germanFrench,
         CodePage::Windows1252,
         "the neutral language ENGLISH appears in no entry of d.dat (its languages: GERMAN, "
         "it-IT)"},
        {"no destination", Lines({"(", "ENGLISH,\"Open\"", "ITALIAN,\"Apri\"", ")"}), germanFrench,
         CodePage::Windows1252,
         "none of the destination languages appears in d.dat: FRENCH, GERMAN (its languages: "
         "ENGLISH, ITALIAN)"},
        // The neutral language among the destinations is not one of those
        // that an entry needs besides it.
        {"the neutral among them", Lines({"(", "ENGLISH,\"Open\"", ")"}),
         test::Selection("ENGLISH", {"ENGLISH", "GERMAN"}), CodePage::Windows1252,
         "none of the destination languages appears in d.dat: GERMAN (its languages: ENGLISH)"},
        {"only the neutral", Lines({"(", "ENGLISH,\"Open\"", "GERMAN,\"Auf\"", ")"}),
         test::Selection("ENGLISH", {"ENGLISH"}), CodePage::Windows1252,
         "the only destination is the neutral language ENGLISH: an entry of d.dat is taken only "
         "with a text in a second language"},
        {"apart", Lines({"(", "ENGLISH,\"Open\"", ")", "(", "FRENCH,\"Ouvrir\"", ")"}),
         germanFrench, CodePage::Windows1252,
         "no entry of d.dat has a text in ENGLISH together with one in FRENCH, GERMAN"},
        // UTF-8: the mark before the first "(" and lines ended by LF alone.
        {"UTF-8", "\xEF\xBB\xBF(\nENGLISH,\"Open\"\nITALIAN,\"Apri\"\n)\n", germanFrench,
         CodePage::Utf8,
         "none of the destination languages appears in d.dat: FRENCH, GERMAN (its languages: "
         "ENGLISH, ITALIAN)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WhyNoEntryWasTaken(test::ReadFrom(c.data, 5), "d.dat", c.languages, c.codePage),
                  c.reason)
            << c.what;
    }
}

} // namespace
} // namespace korva
