// The journal read a piece at a time, as reconciliation reads a file of any size.
#include "journal.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace vortal;

namespace {

const std::string kColumns =
    "time\toperation\trequestId\tamount\tevent\ttillCode\tstatus\tauthCode";

struct Read {
    bool journal;
    std::vector<std::string> ids;
    std::size_t unreadable;
    bool operator==(const Read& other) const {
        return journal == other.journal && ids == other.ids && unreadable == other.unreadable;
    }
};

// In pieces of 1 to 700 bytes drawn from random, or whole.
Read read_in_pieces(const std::string& text, std::mt19937* random) {
    Read read{};
    JournalReader reader([&read](const JournalLine& line) { read.ids.push_back(line.request_id); });
    for (std::size_t at = 0, piece = 0; at < text.size(); at += piece) {
        piece = random ? 1 + (*random)() % 700 : text.size();
        reader.feed(std::string_view(text).substr(at, piece));
    }
    reader.finish();
    return Read{reader.is_journal(), read.ids, reader.unreadable()};
}

}  // namespace

// However the text is cut into pieces, the same lines come out; what is no line (another
// text, a line longer than any the library writes, a last line cut short) is counted, not
// passed on. Seeded: the seed is in every failure.
TEST(JournalReader, PiecesOfAnySizeGiveTheLinesOfTheWholeText) {
    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::string text = kColumns + "\tmessage\r\n";
    Read expected{true, {}, 1};
    for (int i = 0; i < 300; ++i) {
        const std::string id = "R" + std::to_string(i);
        const std::string line = "2026-03-03 09:05:07\tZ1\t" + id + "\t1.00\tended\t04\t\t****\t";
        if (random() % 2 == 0) {
            // A message holding 東, 淺 and 倉, whose second bytes are | \ }, and a CR.
            text += line + "\x96\x7c\x9c\x5c\x82\x7d\r\r\n";
            expected.ids.push_back(id);
        } else {
            text +=
                random() % 2 == 0 ? "no journal line\r\n" : line + std::string(5000, 'x') + "\r\n";
            ++expected.unreadable;
        }
    }
    text += "2026-03-03 09:05:07\tZ1\tcut\t1.00\tsent\t\t\t****\t";
    for (std::mt19937* pieces : {static_cast<std::mt19937*>(nullptr), &random, &random})
        EXPECT_EQ(read_in_pieces(text, pieces), expected);

    // The column names of this version or the last begin a journal; anything else, cut
    // names included, is no journal and gives no line.
    const std::string line = "2026-03-03 09:05:07\tZ1\tR1\t1.00\tsent\t\t\t****\r\n";
    EXPECT_EQ(read_in_pieces(kColumns + "\r\n" + line, nullptr), (Read{true, {"R1"}, 0}));
    EXPECT_EQ(read_in_pieces("", nullptr), (Read{true, {}, 0}));
    for (const std::string& other : {kColumns.substr(0, 20), "not a journal\r\n" + line})
        EXPECT_EQ(read_in_pieces(other, nullptr), (Read{false, {}, 0}));
}
