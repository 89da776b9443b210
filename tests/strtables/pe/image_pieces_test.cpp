#include "strtables/pe/image_pieces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <span>
#include <vector>

#include "strtables/pe/checksum.h"

namespace korva::pe {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

Bytes8 Pattern(std::size_t size, std::uint8_t seed) {
    Bytes8 out(size);
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<std::uint8_t>(seed + i * 31 + (i >> 8));
    }
    return out;
}

// Makes Pattern(size, item) on demand and counts how often it was asked.
class PatternSource final : public DataSource {
public:
    void Produce(std::uint64_t item, std::span<std::uint8_t> out) const override {
        const Bytes8 bytes = Pattern(out.size(), static_cast<std::uint8_t>(item));
        std::copy(bytes.begin(), bytes.end(), out.begin());
        ++calls;
    }
    mutable int calls = 0;
};

// Applies the same writes to pieces and to one plain buffer; the two must
// agree, however the writes overlap.
struct Twin {
    explicit Twin(std::size_t size) : pieces(size), plain(size, 0) {}
    void Place(std::size_t at, const Bytes8& bytes) {
        pieces.Place(at, bytes);
        std::copy(bytes.begin(), bytes.end(), plain.begin() + static_cast<std::ptrdiff_t>(at));
    }
    void Produce(std::size_t at, std::size_t size, std::uint8_t item) {
        pieces.Place(at, ProducedData{&source, item, static_cast<std::uint32_t>(size)});
        const Bytes8 bytes = Pattern(size, item);
        std::copy(bytes.begin(), bytes.end(), plain.begin() + static_cast<std::ptrdiff_t>(at));
    }
    void Zero(std::size_t at, std::size_t size) {
        pieces.Zero(at, size);
        std::fill_n(plain.begin() + static_cast<std::ptrdiff_t>(at), size, 0);
    }
    void PatchU32(std::size_t at, std::uint32_t value) {
        pieces.PatchU32(at, value);
        std::memcpy(plain.data() + at, &value, 4); // the test host is little-endian like PE
    }
    PatternSource source;
    ImagePieces pieces;
    Bytes8 plain;
};

TEST(ImagePieces, LaterWritesWinWhereTheyOverlap) {
    const Bytes8 first = Pattern(100, 1);
    const Bytes8 second = Pattern(40, 2);
    struct Case {
        const char* what;
        void (*apply)(Twin&, const Bytes8&, const Bytes8&);
    };
    const Case cases[] = {
        {"nothing written is zeros", [](Twin&, const Bytes8&, const Bytes8&) {}},
        {"one piece inside another",
         [](Twin& t, const Bytes8& a, const Bytes8& b) {
             t.Place(10, a);
             t.Place(30, b);
         }},
        {"overlapping the start and the end of earlier pieces",
         [](Twin& t, const Bytes8& a, const Bytes8& b) {
             t.Place(50, a);
             t.Place(30, b);
             t.Place(140, b);
         }},
        {"a piece covering several exactly",
         [](Twin& t, const Bytes8& a, const Bytes8& b) {
             t.Place(0, b);
             t.Place(40, b);
             t.Place(0, a);
         }},
        {"zeros cutting a piece in two, patches at its edges",
         [](Twin& t, const Bytes8& a, const Bytes8&) {
             t.Place(20, a);
             t.Zero(50, 10);
             t.PatchU32(18, 0xA1B2C3D4);
             t.PatchU32(118, 0x01020304);
             t.PatchU32(48, 0xFFFFFFFF);
         }},
        {"bytes made on demand, cut by zeros, patches and borrowed bytes",
         [](Twin& t, const Bytes8&, const Bytes8& b) {
             t.Produce(10, 120, 5);
             t.Produce(130, 60, 6);
             t.Zero(40, 10);
             t.PatchU32(60, 0x11223344);
             t.Place(100, b);
             t.PatchU32(128, 0x55667788);
         }},
        {"writes at the very start and end",
         [](Twin& t, const Bytes8& a, const Bytes8& b) {
             t.Place(0, a);
             t.Place(200 - b.size(), b);
             t.PatchU32(0, 7);
             t.PatchU32(196, 9);
         }},
    };
    for (const Case& c : cases) {
        Twin twin(200);
        c.apply(twin, first, second);
        EXPECT_EQ(twin.pieces.Materialize(), twin.plain) << c.what;
        Bytes8 streamed;
        ASSERT_TRUE(twin.pieces
                        .WriteTo([&](Bytes part) -> Result<void> {
                            streamed.insert(streamed.end(), part.begin(), part.end());
                            return {};
                        })
                        .ok());
        EXPECT_EQ(streamed, twin.plain) << c.what;
    }
}

// Large pieces go to the sink directly and long zero runs in parts; the
// stream must still be the file, byte for byte, and only borrowed bytes are
// handed to the release callback.
TEST(ImagePieces, StreamsLargePiecesAndZerosWhole) {
    const Bytes8 big = Pattern(700 << 10, 5);
    const Bytes8 small = Pattern(1000, 6);
    Twin twin(5 << 20);
    twin.Place(3, big);
    twin.Place(3 << 20, small);
    twin.PatchU32(100, 0xDEADBEEF);
    std::size_t released = 0;
    Bytes8 streamed;
    const Result<void> done = twin.pieces.WriteTo(
        [&](Bytes part) -> Result<void> {
            streamed.insert(streamed.end(), part.begin(), part.end());
            return {};
        },
        [&](Bytes part) {
            const bool inBig =
                part.data() >= big.data() && part.data() + part.size() <= big.data() + big.size();
            const bool inSmall = part.data() >= small.data() &&
                                 part.data() + part.size() <= small.data() + small.size();
            EXPECT_TRUE(inBig || inSmall);
            released += part.size();
        });
    ASSERT_TRUE(done.ok());
    EXPECT_EQ(streamed, twin.plain);
    EXPECT_EQ(released, big.size() - 4 + small.size()) << "all borrowed bytes but the patched ones";
}

// Resource data is thousands of small pieces with gaps between them; they
// must not each cost a write.
TEST(ImagePieces, GathersSmallPiecesIntoFewWrites) {
    const Bytes8 leaf = Pattern(100, 4);
    Twin twin(2000 * 108);
    for (std::size_t i = 0; i < 2000; ++i) {
        twin.Place(i * 108, leaf);
    }
    std::size_t writes = 0;
    Bytes8 streamed;
    ASSERT_TRUE(twin.pieces
                    .WriteTo([&](Bytes part) -> Result<void> {
                        ++writes;
                        streamed.insert(streamed.end(), part.begin(), part.end());
                        return {};
                    })
                    .ok());
    EXPECT_EQ(streamed, twin.plain);
    EXPECT_LE(writes, 4u) << "4000 pieces and gaps";
}

TEST(ImagePieces, AFailedWriteStopsTheStream) {
    Twin twin(3 << 20);
    twin.Place(0, Pattern(1 << 20, 1));
    int calls = 0;
    const Result<void> done = twin.pieces.WriteTo([&](Bytes) -> Result<void> {
        ++calls;
        return MakeError("disk full");
    });
    ASSERT_FALSE(done.ok());
    EXPECT_EQ(done.error().message, "disk full");
    EXPECT_EQ(calls, 1);
}

// The sum over parts added in any order, at odd offsets too and with the
// checksum field cut between parts, equals the sum over the whole file.
TEST(ImageChecksum, PartsInAnyOrderGiveTheSumOfTheWhole) {
    const Bytes8 file = Pattern(10001, 9);
    std::mt19937 random(3);
    for (const std::uint64_t field :
         {std::uint64_t{0}, std::uint64_t{0x41}, std::uint64_t{0x58}, std::uint64_t{9998}}) {
        std::vector<std::size_t> cuts{0, 1, 0x42, 0x43, 0x59, 0x5B, 777, 4096, 9999, file.size()};
        std::vector<std::pair<std::size_t, std::size_t>> parts;
        for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
            parts.emplace_back(cuts[i], cuts[i + 1] - cuts[i]);
        }
        std::shuffle(parts.begin(), parts.end(), random);
        ImageChecksum sum(field);
        for (const auto& [at, size] : parts) {
            sum.Add(at, Bytes(file).subspan(at, size));
        }
        EXPECT_EQ(sum.Finish(file.size()), ComputeImageChecksum(file, field)) << field;
    }
}

} // namespace
} // namespace korva::pe
