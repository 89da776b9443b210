#include "dat/subcommands.h"

namespace korva::dat {
namespace {

constexpr std::string_view kProgramHelp = R"(NAME
    korva-dat - make, keep up and check korva's translation data file

SYNOPSIS
    korva-dat extract [-O<lang>] NeutralLang (DestLang,...) Program... [-o FILE] [--cp1252]
    korva-dat update DataFile [NeutralLang (DestLang,...)] Program... [-O<lang>] [-o FILE]
    korva-dat check DataFile [NeutralLang (DestLang,...)] [Program...] [-O<lang>]
    korva-dat export-po DataFile NeutralLang DestLang [-o FILE.po]
    korva-dat import-po DataFile FILE.po [-o FILE]
    korva-dat [COMMAND] --help

DESCRIPTION
    korva rewrites the string tables of a Windows program into one copy per
    language, taking the translations from a data file (KORVA.DAT). korva-dat
    makes that file from the program, keeps it in step with new builds, checks
    it before korva runs, and trades it with translators as gettext PO files:

      korva-dat extract ENGLISH '(ENGLISH,FRENCH,GERMAN)' app.exe -o KORVA.DAT
      korva-dat export-po KORVA.DAT ENGLISH FRENCH -o fr.po    (to a translator)
      korva-dat import-po KORVA.DAT fr.po                       (and back)
      korva-dat check KORVA.DAT app.exe
      korva ENGLISH '(ENGLISH,FRENCH,GERMAN)' app.exe    (KORVA.DAT beside korva)

    The languages are korva's keys, in any case: AFRIKAANS ALBANIAN ARABIC
    BASQUE BELARUSIAN BULGARIAN CATALAN CHINESE CROATIAN CZECH DANISH DUTCH
    ENGLISH ESTONIAN FAEROESE FARSI FINNISH FRENCH GERMAN GREEK HEBREW
    HUNGARIAN ICELANDIC INDONESIAN ITALIAN JAPANESE KOREAN LATVIAN LITHUANIAN
    NORWEGIAN POLISH PORTUGUESE ROMANIAN RUSSIAN SERBIAN SLOVAK SLOVENIAN
    SPANISH SWEDISH THAI TURKISH UKRAINIAN VIETNAMESE. A destination list is
    written as korva takes it, in parentheses without blanks (quote it for
    the shell).

COMMANDS
    extract     write a data file with one entry per text of the programs
    update      add the programs' new texts to a data file, mark unused ones
    check       report errors, shadowed entries, broken placeholders and
                what korva would find and miss
    export-po   write the texts and one language's translations as a PO file
    import-po   take the translations of a PO file into the data file
    'korva-dat COMMAND --help' tells all about each.

THE DATA FILE AS KORVA-DAT WRITES IT
    ;@ languages: ENGLISH (ENGLISH,FRENCH,GERMAN)

    ;@ used in app.exe, block #1, string id 1
    (
    ENGLISH,"&Open..."
    ;FRENCH,""
    GERMAN,"&Offnen..."
    )

    Lines that begin with ';' are comments to korva. korva-dat gives its own
    a '@' after the ';': the languages line records the languages (and -O)
    of extract, so that update, check and import-po need not be told them;
    the "used in" lines name where a text is used (program, block, string
    id, or the slot of a block with a string name) and become the PO
    file's references; ";@ unused" marks an entry that no program given to
    update holds any more. update writes its own comments afresh and keeps
    every other line as it is.

    ;FRENCH,"" is a translation still to be made: take the ';' away and
    write the text between the quotes. FRENCH,"" without the ';' is a
    translation that is present but empty: korva writes an empty string.
    Entries that hold no translation yet are passed over by korva, which
    then reports their texts as not found.

    Texts are written so that korva reads back exactly the program's text:
    a backslash is doubled, the control characters TAB, LF, CR, BEL, BS, VT
    and FF are \t \n \r \a \b \v \f, other control characters \xHH (so
    Ctrl-Z and NUL too); a double quote needs no escape. The file is UTF-8
    with the byte-order mark, lines ended by CR LF, unless extract is given
    --cp1252. Texts are matched as korva matches them: without regard to
    letter case (Unicode simple case folding in a UTF-8 file, upper case
    under Windows-1252 otherwise).

EXIT STATUS
    0 success; check: the file is clean and complete
    1 check: clean, but texts or translations are missing;
      import-po: written, but some texts of the PO file are not in the data file
    2 error: bad command line, unreadable input, syntax errors; nothing
      was written. check: errors were found.

    Messages go to standard error, and so does the summary when the product
    (data file or PO file) goes to standard output. A data file or PO file
    is written all at once: the complete new file, flushed, replaces the old
    one, or nothing changes.
)";

constexpr std::string_view kExtractHelp = R"(NAME
    korva-dat extract - write a data file with every text of some programs

SYNOPSIS
    korva-dat extract [-O<lang>] NeutralLang (DestLang,...) Program... [-o FILE] [--cp1252]

DESCRIPTION
    Reads the string tables of each Program as korva reads them and writes a
    data file with one entry per distinct text, in the order in which the
    texts first appear (program by program, blocks in the order of the
    resource directory, strings by id). Texts that korva takes for one (the
    same but for letter case) share an entry. Only blocks that korva would
    translate are read: those whose one and only copy is in the original
    neutral language (0, or the one -O names); the others are named in the
    summary.

    Before each entry, comments name every place the text is used:
        ;@ used in app.exe, block #1, string id 1
    The entry holds the NeutralLang line, filled in, and a placeholder
    comment ;KEY,"" for each destination language but the neutral one. The
    file begins with a comment that says how to fill it in and the
    languages line that update and check read:
        ;@ languages: ENGLISH (ENGLISH,FRENCH,GERMAN)

    Once every placeholder holds its translation, korva translates the same
    program with exit code 0.

OPTIONS
    -O<lang>   the language of the program's texts, as korva's -O: a key
               name or a language id (decimal, or hex after $, x or 0x);
               default 0, the neutral language. Recorded in the languages
               line.
    -o FILE    write to FILE (all or nothing) instead of standard output.
    --cp1252   write a Windows-1252 file, as older data files are, instead
               of UTF-8 with the byte-order mark. Fails, writing nothing,
               when a text holds a character that 1252 cannot.

EXIT STATUS
    0 written; 2 bad command line, a program that cannot be read or holds
    no text korva would translate, a text --cp1252 cannot hold, or the
    write failed (nothing written).

EXAMPLE
    korva-dat extract ENGLISH '(ENGLISH,FRENCH,GERMAN)' build/app.exe -o KORVA.DAT
)";

constexpr std::string_view kUpdateHelp = R"(NAME
    korva-dat update - bring a data file in step with new builds

SYNOPSIS
    korva-dat update DataFile [NeutralLang (DestLang,...)] Program... [-O<lang>] [-o FILE]

DESCRIPTION
    Reads the programs as extract does and rewrites DataFile:
    - every entry, every translation, every comment and their order stay;
    - each entry's "used in" comments are written afresh from the programs;
    - an entry whose neutral text no program holds any more gets the comment
        ;@ unused: no program given to the last korva-dat update holds this text
      and loses its "used in" lines; it is never deleted, and the mark goes
      again once a program holds the text;
    - texts that no entry holds are appended as new entries, as extract
      writes them, before a Ctrl-Z if the file has one.
    The languages (and -O) come from the file's languages line unless given
    after DataFile; -O given on the command line wins. New lines take the
    line end of the file's first line.

    The new file is written complete and flushed before it replaces the old
    one; a failure leaves the old one as it was. A file with syntax errors
    is not touched (they are listed). The summary says how many entries
    were kept, how many are marked unused, and how many were added.

OPTIONS
    -O<lang>   the language of the program's texts, as korva's -O.
    -o FILE    write the result to FILE and leave DataFile alone; - for
               standard output.

EXIT STATUS
    0 written (or nothing to change); 2 bad command line, unreadable input,
    syntax errors in DataFile, a text that a Windows-1252 DataFile cannot
    hold, or the write failed (nothing written).
)";

constexpr std::string_view kCheckHelp = R"(NAME
    korva-dat check - find what would go wrong before korva runs

SYNOPSIS
    korva-dat check DataFile [NeutralLang (DestLang,...)] [Program...] [-O<lang>]

DESCRIPTION
    Reads DataFile and reports, each as FILE:LINE: error: ...
    - every syntax error, not only the first one korva would stop at. Lines
      of every language are checked, also of languages korva is not run
      with, and an entry left open at the end is an error too (korva drops
      it without a word);
    - entries that another entry shadows: their neutral texts are the same
      for korva (they differ at most in letter case), and korva uses only
      the last of them that it files, which the message names;
    - translations that would break the program or its look, against the
      entry's neutral text: printf placeholders (%s %d %-10.3f %I64u %*d;
      %% is a percent sign) that differ in number, order or type, since the
      program passes the source's arguments; FormatMessage inserts (%1,
      %2!d!) that differ as a set, since a translation may reorder them; a
      different number of menu accelerators (&, && being a literal &); a
      shortcut after a tab in one text and not in the other. A percent sign
      followed by a blank is taken for prose. Translations that are empty
      on purpose ("") are not checked.

    The languages come from the file's languages line unless given after
    DataFile. Without programs, check counts per destination language how
    many texts (one per group of equal texts) have their translation. With
    programs, it counts per program exactly what korva would: the texts of
    the blocks korva would translate, how many it finds in the data file,
    per destination the translations present and missing, and korva's own
    three counters with the exit code korva would give. Nothing is written.

OPTIONS
    -O<lang>   the language of the program's texts, as korva's -O.

EXIT STATUS
    0 no error, and every text has every translation;
    1 no error, but texts or translations are missing (or korva would
      translate nothing yet);
    2 errors were found, or the command line or an input was bad.
)";

constexpr std::string_view kExportHelp = R"(NAME
    korva-dat export-po - hand one language's translations to a translator

SYNOPSIS
    korva-dat export-po DataFile NeutralLang DestLang [-o FILE.po]

DESCRIPTION
    Writes a gettext PO file in UTF-8 (whatever DataFile's encoding) with
    one message per text: msgid is the NeutralLang text, msgstr the
    DestLang translation, empty where there is none. Of entries with the
    same text for korva only the one korva uses is written. The #:
    references come from the "used in" comments (program:string-id, or
    program:BLOCK/slot for a block with a string name). The header gives
    Language (the ISO 639 code), charset UTF-8, and X-Korva-Neutral and
    X-Korva-Language, which import-po reads. Every file passes
    'msgfmt --check'.

    A translation that is present but empty ("" in the data file) is
    written as an empty msgstr with the comment
        #. korva-dat: the translation is empty on purpose ("" in the data file)
    PO tools show it as untranslated; import-po, seeing the comment and
    still an empty msgstr, keeps it "". A translation that does not begin
    and end with a line break where its text does is marked fuzzy (msgfmt
    would refuse it otherwise), with a comment saying so. Texts that hold
    a NUL character or a lone surrogate cannot be PO strings: they are left
    out and named.

OPTIONS
    -o FILE.po  write to the file (all or nothing) instead of standard output.

EXIT STATUS
    0 written; 2 bad command line, unreadable input, syntax errors in
    DataFile, or the write failed (nothing written).
)";

constexpr std::string_view kImportHelp = R"(NAME
    korva-dat import-po - take a translator's PO file back into the data file

SYNOPSIS
    korva-dat import-po DataFile FILE.po [-o FILE]

DESCRIPTION
    Reads a PO file (as export-po writes it, or as any PO tool saved it:
    wrapped strings, comments, flags, obsolete messages) and writes each
    translation into the entry whose neutral text is its msgid, matched as
    korva matches texts. The language comes from X-Korva-Language or the
    Language field, the neutral language from X-Korva-Neutral or DataFile's
    languages line.

    In the entry, the translation replaces the language's line or its
    placeholder ;KEY,"", or goes in before the entry's ')'. A translation
    equal to the one there leaves the line untouched, so a data file
    exported and imported again stays the same byte for byte.
    - An empty msgstr never removes a translation; with export-po's comment
      for an empty translation it writes KEY,"".
    - Fuzzy messages are left out, as msgfmt leaves them out.
    - Messages the data file does not hold are listed; add their texts with
      update first.
    The PO file must be UTF-8; into a Windows-1252 data file only
    translations that 1252 can hold are taken, any other fails the import.
    The data file is written all at once or not at all; a PO file with a
    syntax error changes nothing.

OPTIONS
    -o FILE    write the result to FILE and leave DataFile alone; - for
               standard output.

EXIT STATUS
    0 written; 1 written, but some messages are not in the data file;
    2 bad command line, unreadable or bad input, or the write failed
    (nothing written).
)";

} // namespace

std::string_view HelpText(std::string_view command) {
    if (command == "extract") {
        return kExtractHelp;
    }
    if (command == "update") {
        return kUpdateHelp;
    }
    if (command == "check") {
        return kCheckHelp;
    }
    if (command == "export-po") {
        return kExportHelp;
    }
    if (command == "import-po") {
        return kImportHelp;
    }
    return kProgramHelp;
}

} // namespace korva::dat
