// Runs of equal bytes at the start and end of two entries are measured right. Leaves keep their
// coded size exact through inserts, removals and replacements, whatever
// the fields share with their neighbours, and write pages that read back entry for entry.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/store/Coding.h"
#include "engine/store/Format.h"
#include "engine/store/KeyCodec.h"
#include "engine/store/Node.h"
#include "engine/store/SharedBytes.h"

namespace mv32::engine::store {

namespace {

// A field value drawn from few choices, so that neighbours often share a field or its start.
void appendField(std::string& e, Kind k, std::mt19937& rng) {
    static const char* const kTexts[] = {"",
                                         "a",
                                         "ab",
                                         "abc",
                                         "Fotos/Urlaub/Italien/2019",
                                         "Fotos/Urlaub/Italien/2020",
                                         "Fotos/Urlaub/Italien/2020/Rom",
                                         "Fotos/Urlaub/Italien/2020/Rom/Tag1",
                                         "Musik",
                                         "\xc3\xa4rger"};
    switch (k) {
        case Kind::Text:
        case Kind::TextDesc: {
            const char* t = kTexts[rng() % std::size(kTexts)];
            if (*t == '\0' && rng() % 2)
                encodeBlank(e, k);
            else
                encodeText(e, t, k);
            return;
        }
        case Kind::Int:
        case Kind::IntDesc: {
            static const int64_t kInts[] = {0, 1, -1, 255, 256, -70000, 1LL << 40};
            if (rng() % 8 == 0)
                encodeBlank(e, k);
            else
                encodeInt(e, kInts[rng() % std::size(kInts)], k);
            return;
        }
        case Kind::BlobRef:
            if (rng() % 2)
                encodeBlank(e, k);
            else
                encodeBlobRef(e, rng() % 300, rng() % 100000);
            return;
        case Kind::Bytes:
            encodeBytes(e, std::string(rng() % 4, static_cast<char>('x' + rng() % 2)));
            return;
    }
}

// The coded size of a leaf from its definition: each field after the same field of the entry
// before, a byte when equal, else its shared prefix + 2, the rest's length and the rest.
size_t definedSize(const Layout& layout, const Node& n) {
    size_t size = 0;
    std::vector<uint32_t> pe(layout.kinds.size()), ce(layout.kinds.size());
    for (size_t i = 0; i < n.size(); ++i) {
        std::string_view cur = n.entry(i);
        EXPECT_TRUE(splitFields(layout, cur, ce.data()));
        std::string_view prev = i ? n.entry(i - 1) : std::string_view{};
        size_t ps = 0, cs = 0;
        for (size_t j = 0; j < layout.kinds.size(); ++j) {
            std::string_view cf = cur.substr(cs, ce[j] - cs);
            std::string_view pf = i ? prev.substr(ps, pe[j] - ps) : std::string_view{};
            if (i && pf == cf) {
                size += 1;
            } else {
                size_t s = 0;
                while (i && s < pf.size() && s < cf.size() && pf[s] == cf[s]) ++s;
                size += varintLength(s + 2) + varintLength(cf.size() - s) + cf.size() - s;
            }
            ps = i ? pe[j] : 0;
            cs = ce[j];
        }
        pe = ce;
    }
    return size;
}

}  // namespace

TEST(LeafCoding, SizeStaysExactAndPagesReadBack) {
    const std::vector<Layout> layouts{
        {{Kind::Text, Kind::Text, Kind::Text, Kind::Int, Kind::Text, Kind::Text}, 6},
        {{Kind::TextDesc, Kind::IntDesc, Kind::Int, Kind::BlobRef, Kind::Bytes}, 3},
        {{Kind::Int}, 1},
        {{Kind::Text}, 1},
    };
    for (size_t l = 0; l < layouts.size(); ++l) {
        SCOPED_TRACE("Aufbau " + std::to_string(l));
        const Layout& layout = layouts[l];
        NodeCodec codec(&layout);
        std::mt19937 rng(static_cast<unsigned>(17 + l));
        for (int round = 0; round < 20; ++round) {
            Node n;
            for (int step = 0; step < 60; ++step) {
                std::string e;
                for (Kind k : layout.kinds) appendField(e, k, rng);
                const size_t at = n.size() ? rng() % (n.size() + 1) : 0;
                const auto what = static_cast<unsigned>(rng() % 10);
                if (what == 0 && n.size()) {
                    codec.eraseEntry(n, at % n.size());
                } else if (what == 1 && n.size()) {
                    codec.replaceEntry(n, at % n.size(), e);
                } else {
                    if (codec.sizeWith(n, at, e) > kNodeCapacity) break;
                    const size_t expected = codec.sizeWith(n, at, e);
                    codec.insertEntry(n, at, e);
                    ASSERT_EQ(n.encSize, expected);
                }
                ASSERT_EQ(n.encSize, definedSize(layout, n)) << "Schritt " << step;
            }
            std::vector<unsigned char> page(kPageSize);
            codec.encode(n, page.data());
            Node back;
            codec.decode(back, page.data(), "test.db", nullptr);
            ASSERT_EQ(back.size(), n.size());
            for (size_t i = 0; i < n.size(); ++i) ASSERT_EQ(back.entry(i), n.entry(i));
            EXPECT_EQ(back.encSize, n.encSize);
        }
    }
}

TEST(LeafCoding, EntriesThatDoNotFitTheirLayoutAreRefused) {
    const Layout layout{{Kind::Text, Kind::Int}, 2};
    NodeCodec codec(&layout);
    std::string good;
    encodeText(good, "Fotos", Kind::Text);
    encodeInt(good, 5, Kind::Int);
    Node n;
    codec.insertEntry(n, 0, good);
    for (std::string bad : {std::string("\x01"
                                        "Fotos"),
                            good + "x", good.substr(0, 7),
                            std::string("\x01"
                                        "Fotos\0\x07",
                                        8)}) {
        EXPECT_THROW(codec.insertEntry(n, 1, bad), std::logic_error) << bad.size();
        EXPECT_THROW(codec.insertEntry(n, 0, bad), std::logic_error) << bad.size();
        EXPECT_EQ(n.size(), 1u);
    }
}

TEST(LeafCoding, SharedRunsAtStartAndEndAreMeasuredRight) {
    std::mt19937 rng(5);
    for (int round = 0; round < 3000; ++round) {
        // Two strings over two letters (and a byte with its high bit set) that share a start
        // and an end, each of 0 to 20 bytes, around middles of 0 to 12.
        auto some = [&](size_t most) {
            std::string r;
            for (auto len = rng() % (most + 1); len-- > 0;) r.push_back("ab\xff"[rng() % 3]);
            return r;
        };
        const std::string start = some(20), end = some(20);
        const std::string a = start + some(12) + end, b = start + some(12) + end;
        const auto limit = static_cast<size_t>(rng() % 45);
        size_t head = 0, tail = 0;
        while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
        while (tail < limit && tail < a.size() && tail < b.size() &&
               a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
            ++tail;
        ASSERT_EQ(sharedPrefix(a, b), head) << a << " " << b;
        ASSERT_EQ(sharedSuffix(a, b, limit), tail) << a << " " << b << " " << limit;
    }
}

}  // namespace mv32::engine::store
