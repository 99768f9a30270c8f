// The journal read a piece at a time, as reconciliation reads a file of any size.
#include "journal.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace vortal;

namespace {

const std::string kColumnNames =
    "time\toperation\trequestId\tamount\tevent\ttillCode\tstatus\tauthCode\tmessage\r\n";

struct Read {
    bool journal;
    std::vector<std::string> ids;
    std::size_t unreadable;
};

Read read_in_pieces(const std::string& text, std::mt19937* random) {
    Read read{};
    JournalReader reader([&read](const JournalLine& line) { read.ids.push_back(line.request_id); });
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t piece = random ? 1 + (*random)() % 700 : text.size();
        reader.feed(std::string_view(text).substr(at, piece));
        at += piece;
    }
    reader.finish();
    read.journal = reader.is_journal();
    read.unreadable = reader.unreadable();
    return read;
}

}  // namespace

// However the text is cut into pieces, the same lines come out; what is no line (another
// text, a line longer than any the library writes, a last line cut short) is counted, not
// passed on. Seeded: the seed is in every failure.
TEST(JournalReader, PiecesOfAnySizeGiveTheLinesOfTheWholeText) {
    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::string text = kColumnNames;
    Read expected{true, {}, 0};
    for (int i = 0; i < 300; ++i) {
        const std::string id = "R" + std::to_string(i);
        switch (random() % 4) {
            case 0:
                text += "no journal line\r\n";
                ++expected.unreadable;
                break;
            case 1:
                text += "2026-03-03 09:05:07\tZ3\t" + id + "\t1.00\tsent\t\t\t\t" +
                        std::string(5000, 'x') + "\r\n";
                ++expected.unreadable;
                break;
            default:  // a message holding 東, 淺 and 倉, whose second bytes are | \ }
                text += "2026-03-03 09:05:07\tZ1\t" + id + "\t1.00\tended\t04\t\t****1234\t" +
                        "\x96\x7c\x9c\x5c\x82\x7d\r\r\n";
                expected.ids.push_back(id);
        }
    }
    text += "2026-03-03 09:05:07\tZ1\tcut\t1.00\tsent\t\t\t****1234\t";
    ++expected.unreadable;
    for (std::mt19937* pieces : {static_cast<std::mt19937*>(nullptr), &random, &random}) {
        const Read read = read_in_pieces(text, pieces);
        EXPECT_TRUE(read.journal);
        EXPECT_EQ(read.ids, expected.ids);
        EXPECT_EQ(read.unreadable, expected.unreadable);
    }
}

TEST(JournalReader, AJournalBeginsWithTheColumnNamesOfThisVersionOrTheLast) {
    const std::string line = "2026-03-03 09:05:07\tZ1\tR1\t1.00\tsent\t\t\t****1234\r\n";
    struct Case {
        std::string text;
        bool journal;
        std::size_t lines;
    };
    const Case cases[] = {
        {"", true, 0},
        {kColumnNames + line, true, 1},
        {"time\toperation\trequestId\tamount\tevent\ttillCode\tstatus\tauthCode\r\n" + line, true,
         1},
        {kColumnNames.substr(0, 20), false, 0},
        {"not a journal\r\n" + line, false, 0},
    };
    for (const Case& c : cases) {
        const Read read = read_in_pieces(c.text, nullptr);
        EXPECT_EQ(read.journal, c.journal) << c.text;
        EXPECT_EQ(read.ids.size(), c.lines) << c.text;
    }
}
