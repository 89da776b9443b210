#include "datafile/data_loader.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/worker_thread.h"
#include "datafile/data_parser.h"
#include "datafile/data_pieces.h"
#include "langkeys/lang_const.h"
#include "text/codepage.h"
#include "text/utf8.h"

namespace korva {
namespace {

// The second thread starts once this many pieces' worth has been read.
constexpr std::size_t kPiecesBeforeWorker = 16;

// One piece of the file and what its parse found.
struct PieceOutcome {
    std::size_t number = 0; // its place in the file, from 0
    DataPiece piece;        // let go once parsed
    int part = -1;          // the builder that parsed it; -1 while unparsed
    std::size_t keptBegin = 0;
    std::size_t keptEnd = 0;
    std::size_t filed = 0;
    std::uint64_t lines = 0;  // lines taken, a bad one included
    bool syntaxError = false; // on its last line taken
    bool openAtEnd = false;   // it ends inside an entry
    std::exception_ptr error;
};

// Parses pieces on two threads, each into a builder of its own, and puts
// the outcomes together in file order as a single parse would have found
// them: the first error in the file is the one reported.
class PieceParse {
public:
    explicit PieceParse(const DataLoadOptions& options)
        : builders_{Builder(options), Builder(options)}, utf8_(options.codePage == CodePage::Utf8) {
    }

    // Each builder must be given its pieces in file order.
    void Parse(PieceOutcome& outcome, int part);
    // Whether a piece before `number` failed: the parse stops there, and
    // nothing after it is needed.
    bool FailedBefore(std::size_t number) const { return number > firstFailed_.load(); }

    DataLoadOutcome Finish(std::deque<PieceOutcome>& outcomes, bool readFailed,
                           const std::exception_ptr& readError, std::string_view fileName);

private:
    static TransDictBuilder Builder(const DataLoadOptions& options) {
        TransDictBuilder builder(options.languages.TakenLanguages(), options.languages.neutral,
                                 options.codePage);
        builder.KeepOnly(options.wanted);
        return builder;
    }
    void NoteFailure(std::size_t number) {
        std::size_t seen = firstFailed_.load();
        while (number < seen && !firstFailed_.compare_exchange_weak(seen, number)) {
        }
    }
    void ParseLines(PieceOutcome& outcome, TransDictBuilder& builder) const;

    std::array<TransDictBuilder, 2> builders_;
    bool utf8_;
    std::atomic<std::size_t> firstFailed_{SIZE_MAX};
};

void PieceParse::ParseLines(PieceOutcome& outcome, TransDictBuilder& builder) const {
    DataParser parser(builder, utf8_);
    LineReader lines(outcome.piece.bytes, utf8_);
    std::string_view line;
    while (lines.Next(line) == LineReader::Status::Line) {
        if (utf8_ && outcome.number == 0 && lines.LineNumber() == 1 &&
            line.starts_with(kUtf8Mark)) {
            line.remove_prefix(kUtf8Mark.size());
        }
        if (!parser.Take(line)) {
            outcome.syntaxError = true;
            break;
        }
    }
    outcome.lines = lines.LineNumber();
    outcome.openAtEnd = parser.InEntry();
}

void PieceParse::Parse(PieceOutcome& outcome, int part) {
    if (FailedBefore(outcome.number)) {
        return;
    }
    TransDictBuilder& builder = builders_.at(static_cast<std::size_t>(part));
    outcome.part = part;
    outcome.keptBegin = builder.KeptCount();
    const std::size_t filedBefore = builder.FiledCount();
    try {
        ParseLines(outcome, builder);
    } catch (...) {
        outcome.error = std::current_exception();
    }
    outcome.keptEnd = builder.KeptCount();
    outcome.filed = builder.FiledCount() - filedBefore;
    outcome.piece = {};
    if (outcome.syntaxError || outcome.error) {
        NoteFailure(outcome.number);
    } else if (outcome.openAtEnd) {
        NoteFailure(outcome.number + 1); // the next piece's "(" is the error
    }
}

DataLoadOutcome PieceParse::Finish(std::deque<PieceOutcome>& outcomes, bool readFailed,
                                   const std::exception_ptr& readError, std::string_view fileName) {
    std::vector<TransDictBuilder::KeptRun> runs;
    std::uint64_t lineBase = 0;
    std::size_t filed = 0;
    std::optional<std::uint64_t> errorLine;
    for (const PieceOutcome& outcome : outcomes) {
        if (outcome.part < 0) {
            throw std::logic_error("a piece of the data file was left unparsed");
        }
        if (outcome.error) {
            std::rethrow_exception(outcome.error);
        }
        runs.push_back({&builders_.at(static_cast<std::size_t>(outcome.part)), outcome.keptBegin,
                        outcome.keptEnd});
        filed += outcome.filed;
        if (outcome.syntaxError) {
            errorLine = lineBase + outcome.lines;
            break;
        }
        lineBase += outcome.lines;
        if (outcome.openAtEnd && &outcome != &outcomes.back()) {
            errorLine = lineBase + 1;
            break;
        }
    }
    DataLoadOutcome out;
    if (errorLine) {
        out.syntaxError = DataSyntaxError{*errorLine, "Syntax error in " + std::string(fileName) +
                                                          "/Line=" + std::to_string(*errorLine)};
    } else if (readError) {
        std::rethrow_exception(readError);
    }
    TransDictBuilder::Build(runs, out.dict);
    out.filedAny = filed > 0;
    // A failed read would leave a half-read dictionary; translating from
    // it would pass for a complete run, so the load fails.
    out.readFailed = readFailed;
    return out;
}

// Closes the queue however the reading ends, so that the worker, which the
// caller then waits for, does not wait for pieces forever.
class QueueCloser {
public:
    explicit QueueCloser(PieceQueue<PieceOutcome>& queue) : queue_(queue) {}
    QueueCloser(const QueueCloser&) = delete;
    QueueCloser& operator=(const QueueCloser&) = delete;
    QueueCloser(QueueCloser&&) = delete;
    QueueCloser& operator=(QueueCloser&&) = delete;
    ~QueueCloser() { queue_.Close(); }

private:
    PieceQueue<PieceOutcome>& queue_;
};

// Reads the pieces in turn, parsing them on this thread and, once the file
// proves large, on a second one; waits for both. True when a read failed.
bool ReadPieces(const ReadBlock& read, const DataLoadOptions& options, PieceParse& parse,
                std::deque<PieceOutcome>& outcomes, std::exception_ptr& readError) {
    bool readFailed = false;
    std::exception_ptr workerError;
    {
        PieceQueue<PieceOutcome> queue;
        std::optional<WorkerThread> worker;
        const QueueCloser closer(queue);
        PieceCutter cutter(read, options.blockSize, options.pieceSize,
                           options.codePage == CodePage::Utf8);
        std::size_t bytesRead = 0;
        try {
            for (DataPiece piece;;) {
                const PieceCutter::Status status = cutter.Next(piece);
                if (status != PieceCutter::Status::Piece) {
                    readFailed = status == PieceCutter::Status::ReadFailed;
                    break;
                }
                PieceOutcome& outcome = outcomes.emplace_back();
                outcome.number = outcomes.size() - 1;
                outcome.piece = std::move(piece);
                if (parse.FailedBefore(outcome.number)) {
                    break;
                }
                // The worker keeps a piece in hand and one waiting; this
                // thread parses the rest between its reads. A small file
                // is parsed sooner than a thread is started for it.
                bytesRead += outcome.piece.bytes.size();
                const bool large = bytesRead / kPiecesBeforeWorker >= options.pieceSize;
                if ((worker || (large && !cutter.AtEnd())) && queue.Pending() < 2) {
                    if (!worker) {
                        cutter.ShareWithAnotherThread();
                        worker.emplace([&parse, &queue] {
                            while (PieceOutcome* next = queue.Take()) {
                                parse.Parse(*next, 1);
                            }
                        });
                    }
                    queue.Push(&outcome);
                } else {
                    parse.Parse(outcome, 0);
                }
            }
        } catch (...) {
            readError = std::current_exception();
        }
        queue.Close();
        while (PieceOutcome* next = queue.TryTake()) {
            parse.Parse(*next, 0);
        }
        if (worker) {
            workerError = worker->Wait();
        }
    }
    if (workerError) {
        std::rethrow_exception(workerError);
    }
    return readFailed;
}

} // namespace

Result<DataLoadOutcome> LoadDataFrom(const ReadBlock& read, std::string_view fileName,
                                     const DataLoadOptions& options) {
    try {
        PieceParse parse(options);
        // A deque: the worker writes to outcomes while more are added.
        std::deque<PieceOutcome> outcomes;
        std::exception_ptr readError;
        const bool readFailed = ReadPieces(read, options, parse, outcomes, readError);
        return parse.Finish(outcomes, readFailed, readError, fileName);
    } catch (const std::length_error& e) {
        // The counts of entries and texts are 32 bits wide.
        return MakeError(e.what(), ErrorKind::LimitExceeded);
    }
}

} // namespace korva
