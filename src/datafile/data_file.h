#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "common/result.h"
#include "datafile/data_loader.h"
#include "datafile/trans_dict.h"
#include "platform/platform.h"
#include "text/codepage.h"

namespace korva {

// The dictionary from neutral texts to their entries, built by LoadDataFile
// and read-only after it. For the item at `index` (0 to Count() - 1):
//   TransDict.Find(text, index)  finds a text, comparing with CompareText;
//   TransDict.Text(index)        is the item's neutral text as first written;
//   TransDict.Entry(index)       is its TTransStrs, whose Text(langIndex)
//                                gives the translation for a language key
//                                index, empty when there is none.
extern TransDictionary TransDict;

// A data file opened for loading, with the bytes read to learn its code
// page, which the loader is served first.
struct OpenedDataFile {
    std::unique_ptr<ReadOnlyFile> file;
    std::string head;
    CodePage codePage = CodePage::Windows1252; // UTF-8 when it begins with the mark
};

// Opens the data file at `path` and reads its first bytes: the UTF-8 mark
// makes it UTF-8, anything else 1252. A file that cannot be opened is the
// error (ErrorKind::NoSuchFile when there is no regular file at the path).
Result<OpenedDataFile> OpenDataFile(const std::string& path);

// Loads an opened data file from its beginning; see LoadDataFrom, whose
// messages name `fileName`.
Result<DataLoadOutcome> LoadDataFile(OpenedDataFile& data, std::string_view fileName,
                                     const DataLoadOptions& options);

// korva's stage: opens the data file and sets RunCodePage from its first
// bytes: DataFileName in the directory of the program's own executable, or,
// after --data (DataFileIsPath), at that path as it stands. Called before
// the program's texts are read, which take that code page. A file that
// cannot be opened is not reported here; LoadDataFile fails for it in its
// turn.
void OpenDataFile();

// korva's stage: loads the data file that OpenDataFile opened (opening it
// first when it has not) into TransDict, keeping the neutral and
// destination languages only. False when the file cannot be opened or
// read, on a syntax error (after writing its line, quiet mode or not), and
// when no entry was filed. With `wanted`, TransDict leaves out nearly every
// entry whose neutral text is none of its texts; a lookup of those finds
// what it would without it, and the outcome is the same.
bool LoadDataFile(const FoldedTextFilter* wanted = nullptr);
// The same, saying why it failed in a line of its own for korva to write:
// not found at the full path looked at, not a regular file, cannot be
// opened or read and why, or what it lacks (WhyNoEntryWasTaken). Empty
// after a syntax error, whose line said it.
Result<void> LoadDataFileOrSayWhy(const FoldedTextFilter* wanted = nullptr);

// Back to the empty dictionary of program start, the data file closed (for
// tests).
void ResetTransDict();

} // namespace korva
