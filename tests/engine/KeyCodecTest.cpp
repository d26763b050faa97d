#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "engine/store/KeyCodec.h"

namespace mv32::engine::store {

namespace {

std::string enc(int64_t v, Kind k = Kind::Int) {
    std::string s;
    encodeInt(s, v, k);
    return s;
}

std::string encT(std::string_view t, Kind k = Kind::Text) {
    std::string s;
    encodeText(s, t, k);
    return s;
}

}  // namespace

TEST(KeyCodec, IntegersKeepTheirOrderAndRoundTrip) {
    std::vector<int64_t> values{std::numeric_limits<int64_t>::min(),
                                -70000,
                                -256,
                                -255,
                                -2,
                                -1,
                                0,
                                1,
                                255,
                                256,
                                65535,
                                1LL << 40,
                                std::numeric_limits<int64_t>::max()};
    std::string blank;
    encodeBlank(blank, Kind::Int);
    for (size_t i = 0; i < values.size(); ++i) {
        std::string a = enc(values[i]);
        EXPECT_LT(blank, a);
        const auto* p = reinterpret_cast<const unsigned char*>(a.data());
        ASSERT_EQ(fieldLength(p, a.size(), Kind::Int), a.size());
        EXPECT_EQ(intOf(p, a.size(), Kind::Int), values[i]);
        if (i + 1 < values.size()) {
            EXPECT_LT(a, enc(values[i + 1])) << values[i];
            // Descending reverses the order.
            EXPECT_GT(enc(values[i], Kind::IntDesc), enc(values[i + 1], Kind::IntDesc));
        }
    }
}

TEST(KeyCodec, TextsOrderByCodePointWithBlankFirst) {
    std::string blank;
    encodeBlank(blank, Kind::Text);
    std::vector<std::string> texts{"", "A", "AB", "B", "a", "ab", "z", "Ä", "ä", "€"};
    EXPECT_LT(blank, encT(texts[0]));
    for (size_t i = 0; i + 1 < texts.size(); ++i) {
        EXPECT_LT(encT(texts[i]), encT(texts[i + 1])) << texts[i];
        EXPECT_GT(encT(texts[i], Kind::TextDesc), encT(texts[i + 1], Kind::TextDesc));
    }
    // A field followed by another still orders by the first field alone.
    std::string ab = encT("ab") + enc(1), abc = encT("abc") + enc(0);
    EXPECT_LT(ab, abc);
}

TEST(KeyCodec, MalformedBytesAreRejected) {
    Layout l{{Kind::Text, Kind::Int, Kind::BlobRef, Kind::Bytes}, 2};
    std::string good = encT("x") + enc(5);
    encodeBlobRef(good, 7, 100);
    encodeBytes(good, "data");
    uint32_t ends[4];
    EXPECT_TRUE(splitFields(l, good, ends));
    EXPECT_EQ(keyLength(l, good), encT("x").size() + enc(5).size());
    for (size_t cut = 0; cut < good.size(); ++cut) {
        EXPECT_FALSE(splitFields(l, good.substr(0, cut), ends)) << cut;
    }
    std::string bad = good;
    bad[0] = '\x07';
    EXPECT_FALSE(splitFields(l, bad, ends));
    EXPECT_FALSE(splitFields(l, good + "x", ends));
}

}  // namespace mv32::engine::store
