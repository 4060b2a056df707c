// Reads back the icon files drawn at build time: the Windows .ico with its 12
// DIB images, and the compressed PNGs for the Linux icon theme. Plain file parsing, so a
// fault in the generator's byte layout shows up here and not only as an icon
// some program silently refuses to show.

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#ifndef QUIMBEL_ICON_DIR
#error "QUIMBEL_ICON_DIR must name the directory with the generated icon files"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::string& name) {
    std::ifstream file(std::string(QUIMBEL_ICON_DIR) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

const Bytes& icoFile() {
    static const Bytes bytes = readFile("quimbel.ico");
    return bytes;
}

// Little-endian reads that fail the test rather than read past the end.
std::uint32_t le(const Bytes& b, std::size_t offset, int width) {
    if (offset + static_cast<std::size_t>(width) > b.size()) {
        ADD_FAILURE() << "read of " << width << " bytes at " << offset << " runs past the end ("
                      << b.size() << ")";
        return 0;
    }
    std::uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | b[offset + static_cast<std::size_t>(i)];
    return v;
}

std::uint32_t be32(const Bytes& b, std::size_t offset) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = (v << 8) | b.at(offset + i);
    return v;
}

struct Expected {
    int size;
    int bits;
};

// Every image the icon must hold, in file order.
constexpr std::array<Expected, 12> kImages{{
    {32, 1},
    {48, 4},
    {32, 4},
    {16, 4},
    {48, 8},
    {32, 8},
    {16, 8},
    {256, 32},
    {128, 32},
    {48, 32},
    {32, 32},
    {16, 32},
}};

constexpr std::size_t kDirectoryEnd = 6 + 16 * kImages.size();

std::size_t rowBytes(int width, int bits) {
    return static_cast<std::size_t>((width * bits + 31) / 32 * 4);
}

struct DirEntry {
    int width, height, colours, reserved, planes, bits;
    std::uint32_t bytes, offset;
};

DirEntry dirEntry(std::size_t index) {
    const Bytes& f = icoFile();
    const std::size_t at = 6 + 16 * index;
    return {static_cast<int>(le(f, at, 1)),
            static_cast<int>(le(f, at + 1, 1)),
            static_cast<int>(le(f, at + 2, 1)),
            static_cast<int>(le(f, at + 3, 1)),
            static_cast<int>(le(f, at + 4, 2)),
            static_cast<int>(le(f, at + 6, 2)),
            le(f, at + 8, 4),
            le(f, at + 12, 4)};
}

// One image decoded from its DIB: colours, alpha and the AND mask, rows top
// to bottom.
struct Decoded {
    int size = 0;
    std::vector<std::array<std::uint8_t, 4>> rgba; // alpha only for 32-bit images
    std::vector<bool> masked;                      // AND bit set: transparent
    std::vector<std::array<std::uint8_t, 3>> palette;
    std::vector<int> index; // palette index per pixel, palette images only
};

Decoded decode(std::size_t i) {
    const Bytes& f = icoFile();
    const Expected want = kImages[i];
    const DirEntry e = dirEntry(i);
    Decoded d;
    d.size = want.size;
    const std::size_t colours = want.bits <= 8 ? std::size_t{1} << want.bits : 0;
    std::size_t at = e.offset + 40;
    for (std::size_t c = 0; c < colours; ++c, at += 4) {
        d.palette.push_back({static_cast<std::uint8_t>(le(f, at + 2, 1)),
                             static_cast<std::uint8_t>(le(f, at + 1, 1)),
                             static_cast<std::uint8_t>(le(f, at, 1))});
    }
    const std::size_t pixelRow = rowBytes(want.size, want.bits);
    const std::size_t maskStart = at + pixelRow * static_cast<std::size_t>(want.size);
    const std::size_t maskRow = rowBytes(want.size, 1);
    for (int y = 0; y < want.size; ++y) {
        const auto stored =
            static_cast<std::size_t>(want.size - 1 - y); // DIB rows run bottom to top
        for (int x = 0; x < want.size; ++x) {
            const std::size_t row = at + stored * pixelRow;
            if (want.bits == 32) {
                const std::size_t p = row + 4 * static_cast<std::size_t>(x);
                d.rgba.push_back({static_cast<std::uint8_t>(le(f, p + 2, 1)),
                                  static_cast<std::uint8_t>(le(f, p + 1, 1)),
                                  static_cast<std::uint8_t>(le(f, p, 1)),
                                  static_cast<std::uint8_t>(le(f, p + 3, 1))});
            } else {
                const int perByte = 8 / want.bits;
                const std::uint32_t byte = le(f, row + static_cast<std::size_t>(x / perByte), 1);
                const int idx = static_cast<int>(byte >> (8 - want.bits * (x % perByte + 1))) &
                                ((1 << want.bits) - 1);
                d.index.push_back(idx);
                const auto& c = d.palette[static_cast<std::size_t>(idx)];
                d.rgba.push_back({c[0], c[1], c[2], 255});
            }
            const std::uint32_t maskByte =
                le(f, maskStart + stored * maskRow + static_cast<std::size_t>(x / 8), 1);
            d.masked.push_back(((maskByte >> (7 - x % 8)) & 1u) != 0);
        }
    }
    return d;
}

TEST(IconFile, HeaderDeclaresAnIconOfTwelveImages) {
    const Bytes& f = icoFile();
    ASSERT_GE(f.size(), kDirectoryEnd)
        << "missing or truncated: " << QUIMBEL_ICON_DIR << "/quimbel.ico";
    EXPECT_EQ(le(f, 0, 2), 0u) << "reserved";
    EXPECT_EQ(le(f, 2, 2), 1u) << "type 1 is an icon, 2 a cursor";
    EXPECT_EQ(le(f, 4, 2), kImages.size());
}

TEST(IconFile, ImagesLieInsideTheFileWithoutOverlapping) {
    ASSERT_GE(icoFile().size(), kDirectoryEnd);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;
    for (std::size_t i = 0; i < kImages.size(); ++i) {
        const DirEntry e = dirEntry(i);
        EXPECT_GE(e.offset, kDirectoryEnd) << "image " << i << " starts inside the directory";
        EXPECT_LE(std::uint64_t{e.offset} + e.bytes, icoFile().size())
            << "image " << i << " runs past the end";
        spans.emplace_back(e.offset, e.offset + e.bytes);
    }
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 1; i < spans.size(); ++i) {
        EXPECT_LE(spans[i - 1].second, spans[i].first) << "two images share bytes";
    }
}

// Images of one size must show the same outline at every colour depth: a
// flipped or shifted picture at one depth shows up here.
TEST(IconFile, EveryDepthOfOneSizeHasTheSameOutline) {
    ASSERT_GE(icoFile().size(), kDirectoryEnd);
    for (int size : {16, 32, 48}) {
        std::vector<bool> first;
        int firstBits = 0;
        for (std::size_t i = 0; i < kImages.size(); ++i) {
            if (kImages[i].size != size)
                continue;
            const Decoded d = decode(i);
            if (first.empty()) {
                first = d.masked;
                firstBits = kImages[i].bits;
            } else {
                EXPECT_TRUE(d.masked == first)
                    << size << "x" << size << ": " << kImages[i].bits
                    << "-bit outline differs from " << firstBits << "-bit";
            }
        }
    }
}

TEST(IconFile, OneBitImageIsBlackAndWhite) {
    ASSERT_GE(icoFile().size(), kDirectoryEnd);
    ASSERT_EQ(kImages[0].bits, 1);
    const Decoded d = decode(0);
    const std::set<std::array<std::uint8_t, 3>> palette(d.palette.begin(), d.palette.end());
    EXPECT_EQ(palette, (std::set<std::array<std::uint8_t, 3>>{{0, 0, 0}, {255, 255, 255}}));
}

class IconImage : public ::testing::TestWithParam<std::size_t> {
protected:
    void SetUp() override {
        ASSERT_GE(icoFile().size(), kDirectoryEnd) << "quimbel.ico missing or truncated";
    }
    Expected want() const { return kImages[GetParam()]; }
};

TEST_P(IconImage, DirectoryEntryGivesSizeAndDepth) {
    const DirEntry e = dirEntry(GetParam());
    const int sizeByte = want().size == 256 ? 0 : want().size; // 0 stands for 256
    EXPECT_EQ(e.width, sizeByte);
    EXPECT_EQ(e.height, sizeByte);
    EXPECT_EQ(e.colours, want().bits < 8 ? 1 << want().bits : 0);
    EXPECT_EQ(e.reserved, 0);
    EXPECT_EQ(e.planes, 1);
    EXPECT_EQ(e.bits, want().bits);
}

TEST_P(IconImage, IsAnUncompressedDibWithAndMask) {
    const Bytes& f = icoFile();
    const DirEntry e = dirEntry(GetParam());
    ASSERT_LE(std::uint64_t{e.offset} + e.bytes, f.size());
    ASSERT_GE(e.bytes, 40u);
    const Bytes pngSignature{0x89, 'P', 'N', 'G'};
    EXPECT_FALSE(std::equal(pngSignature.begin(), pngSignature.end(), f.begin() + e.offset))
        << "stored as PNG";

    const int size = want().size;
    const int bits = want().bits;
    EXPECT_EQ(le(f, e.offset, 4), 40u) << "BITMAPINFOHEADER";
    EXPECT_EQ(static_cast<std::int32_t>(le(f, e.offset + 4, 4)), size);
    EXPECT_EQ(static_cast<std::int32_t>(le(f, e.offset + 8, 4)), 2 * size)
        << "pixels and mask together";
    EXPECT_EQ(le(f, e.offset + 12, 2), 1u) << "planes";
    EXPECT_EQ(le(f, e.offset + 14, 2), static_cast<std::uint32_t>(bits));
    EXPECT_EQ(le(f, e.offset + 16, 4), 0u) << "BI_RGB";
    const std::uint32_t used = le(f, e.offset + 32, 4);
    const std::uint32_t colours = bits <= 8 ? 1u << bits : 0u;
    EXPECT_TRUE(used == 0 || used == colours) << "colours used: " << used;

    const std::size_t pixels = rowBytes(size, bits) * static_cast<std::size_t>(size);
    const std::size_t mask = rowBytes(size, 1) * static_cast<std::size_t>(size);
    EXPECT_EQ(e.bytes, 40 + 4 * colours + pixels + mask) << "header, palette, pixels and AND mask";
}

TEST_P(IconImage, PictureHasBothOpaqueAndTransparentParts) {
    const Decoded d = decode(GetParam());
    const auto total = static_cast<std::size_t>(d.size * d.size);
    const auto clear = static_cast<std::size_t>(std::count(d.masked.begin(), d.masked.end(), true));
    // The monitor covers most of the square, but not its corners.
    EXPECT_GT(clear, total / 20);
    EXPECT_GT(total - clear, total / 2);

    if (want().bits == 32) {
        std::size_t solid = 0, empty = 0;
        for (std::size_t p = 0; p < total; ++p) {
            const auto a = d.rgba[p][3];
            solid += a == 255;
            empty += a == 0;
            EXPECT_EQ(d.masked[p], a < 128) << "mask disagrees with alpha at pixel " << p;
            if (a == 0) {
                EXPECT_EQ(d.rgba[p][0] | d.rgba[p][1] | d.rgba[p][2], 0)
                    << "transparent pixel " << p << " not black";
            }
        }
        EXPECT_GT(solid, total / 2);
        EXPECT_GT(empty, total / 20);
    } else {
        std::set<std::array<std::uint8_t, 3>> used;
        for (std::size_t p = 0; p < total; ++p) {
            const auto& c = d.palette[static_cast<std::size_t>(d.index[p])];
            if (!d.masked[p])
                used.insert(c);
            // Drawn as (screen AND mask) XOR pixel: a masked pixel must be
            // black or it tints whatever is behind the icon.
            else
                EXPECT_EQ(c[0] | c[1] | c[2], 0) << "transparent pixel " << p << " not black";
        }
        // Bezel, screen and arrow at the least; black and white in one bit.
        EXPECT_GE(used.size(), want().bits == 1 ? 2u : 4u);
    }
}

// DIB rows run bottom to top; written the other way the monitor stands on
// its head. The widest rows are the bezel, the bottom rows the stand.
TEST_P(IconImage, MonitorStandsUpright) {
    const Decoded d = decode(GetParam());
    std::vector<int> widths;
    for (int y = 0; y < d.size; ++y) {
        int opaque = 0;
        for (int x = 0; x < d.size; ++x)
            opaque += !d.masked[static_cast<std::size_t>(y * d.size + x)];
        if (opaque > 0)
            widths.push_back(opaque);
    }
    ASSERT_FALSE(widths.empty());
    const auto widest = std::max_element(widths.begin(), widths.end());
    EXPECT_LT(widest - widths.begin(), static_cast<long>(widths.size() / 2))
        << "the bezel should be in the upper half";
    EXPECT_LT(widths.back(), *widest * 3 / 4) << "the bottom row should be the stand's foot";
}

std::string imageName(const ::testing::TestParamInfo<std::size_t>& info) {
    const Expected e = kImages[info.param];
    return "Size" + std::to_string(e.size) + "Bits" + std::to_string(e.bits);
}

INSTANTIATE_TEST_SUITE_P(All, IconImage, ::testing::Range<std::size_t>(0, kImages.size()),
                         imageName);

// ---------------------------------------------------------------- PNG

#ifdef QUIMBEL_ICON_PNGS

struct Png {
    std::uint32_t width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    Bytes idat;
    std::vector<std::string> chunks;
};

Png readPng(const Bytes& f) {
    Png png;
    const Bytes signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (f.size() < 8 || !std::equal(signature.begin(), signature.end(), f.begin())) {
        ADD_FAILURE() << "no PNG signature";
        return png;
    }
    std::size_t at = 8;
    while (at + 12 <= f.size()) {
        const std::uint32_t length = be32(f, at);
        if (at + 12 + length > f.size()) {
            ADD_FAILURE() << "chunk at " << at << " runs past the end";
            return png;
        }
        const std::string type(f.begin() + static_cast<long>(at + 4),
                               f.begin() + static_cast<long>(at + 8));
        const auto* body = f.data() + at + 8;
        const auto crc = static_cast<std::uint32_t>(::crc32(0L, f.data() + at + 4, length + 4));
        EXPECT_EQ(be32(f, at + 8 + length), crc) << "CRC of chunk " << type;
        png.chunks.push_back(type);
        if (type == "IHDR" && length == 13) {
            png.width = be32(f, at + 8);
            png.height = be32(f, at + 12);
            png.depth = body[8];
            png.colourType = body[9];
            png.interlace = body[12];
        } else if (type == "IDAT") {
            png.idat.insert(png.idat.end(), body, body + length);
        }
        at += 12 + length;
    }
    EXPECT_EQ(at, f.size()) << "bytes after the last chunk";
    return png;
}

// Undoes PNG's per-row filters (all five types) on 8-bit RGBA rows.
Bytes unfilter(const Bytes& raw, std::size_t width, std::size_t height) {
    const std::size_t stride = width * 4;
    Bytes out(stride * height);
    for (std::size_t y = 0; y < height; ++y) {
        const int filter = raw[y * (stride + 1)];
        const std::uint8_t* in = &raw[y * (stride + 1) + 1];
        std::uint8_t* row = &out[y * stride];
        const std::uint8_t* up = y > 0 ? row - stride : nullptr;
        for (std::size_t x = 0; x < stride; ++x) {
            const int a = x >= 4 ? row[x - 4] : 0;
            const int b = up ? up[x] : 0;
            const int c = up && x >= 4 ? up[x - 4] : 0;
            int pred = 0;
            switch (filter) {
            case 0:
                pred = 0;
                break;
            case 1:
                pred = a;
                break;
            case 2:
                pred = b;
                break;
            case 3:
                pred = (a + b) / 2;
                break;
            case 4: {
                const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b),
                          pc = std::abs(p - c);
                pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                break;
            }
            default:
                ADD_FAILURE() << "row " << y << " has filter type " << filter;
                return out;
            }
            row[x] = static_cast<std::uint8_t>(in[x] + pred);
        }
    }
    return out;
}

class ThemePng : public ::testing::TestWithParam<int> {};

TEST_P(ThemePng, IsAValidRgbaPngOfItsSize) {
    const int size = GetParam();
    const Bytes f = readFile("quimbel-" + std::to_string(size) + ".png");
    ASSERT_FALSE(f.empty()) << "quimbel-" << size << ".png missing";
    const Png png = readPng(f);
    ASSERT_FALSE(png.chunks.empty());
    EXPECT_EQ(png.chunks.front(), "IHDR");
    EXPECT_EQ(png.chunks.back(), "IEND");
    EXPECT_EQ(png.width, static_cast<std::uint32_t>(size));
    EXPECT_EQ(png.height, static_cast<std::uint32_t>(size));
    EXPECT_EQ(png.depth, 8);
    EXPECT_EQ(png.colourType, 6) << "RGBA";
    EXPECT_EQ(png.interlace, 0);
}

// The pixels of a theme PNG, 8-bit RGBA rows top to bottom, inflated by zlib
// (which checks the stream's framing and Adler-32) and unfiltered.
Bytes ThemePixels(int size) {
    const Png png = readPng(readFile("quimbel-" + std::to_string(size) + ".png"));
    if (png.width != static_cast<std::uint32_t>(size) || png.colourType != 6 || png.depth != 8) {
        ADD_FAILURE() << "quimbel-" << size << ".png is not a " << size << "-pixel RGBA PNG";
        return {};
    }
    const auto n = static_cast<std::size_t>(size);
    Bytes raw(n * (4 * n + 1));
    uLongf rawLength = static_cast<uLongf>(raw.size());
    const int inflated =
        ::uncompress(raw.data(), &rawLength, png.idat.data(), static_cast<uLong>(png.idat.size()));
    if (inflated != Z_OK || rawLength != raw.size()) {
        ADD_FAILURE() << "quimbel-" << size << ".png: zlib says " << inflated << " after "
                      << rawLength << " of " << raw.size() << " bytes";
        return {};
    }
    return unfilter(raw, n, n);
}

// The theme PNG and the 32-bit image of the same size in the .ico are the
// same picture; comparing them catches swapped channels and flipped rows in
// either writer.
TEST_P(ThemePng, ShowsTheSamePictureAsTheIco) {
    const int size = GetParam();
    const auto n = static_cast<std::size_t>(size);
    const Bytes pixels = ThemePixels(size);
    ASSERT_EQ(pixels.size(), 4 * n * n);

    const auto it = std::find_if(kImages.begin(), kImages.end(), [size](const Expected& e) {
        return e.size == size && e.bits == 32;
    });
    ASSERT_NE(it, kImages.end());
    ASSERT_GE(icoFile().size(), kDirectoryEnd);
    const Decoded ico = decode(static_cast<std::size_t>(it - kImages.begin()));
    std::size_t differing = 0;
    for (std::size_t p = 0; p < n * n; ++p) {
        const auto& c = ico.rgba[p];
        const bool same = pixels[4 * p + 3] == c[3] &&
                          (c[3] == 0 || std::equal(c.begin(), c.begin() + 3,
                                                   pixels.begin() + static_cast<long>(4 * p)));
        differing += !same;
    }
    EXPECT_EQ(differing, 0u) << "of " << n * n << " pixels";
}

// Compression changes the bytes of the files, never the picture: the pixels,
// transparent ones included, are those the PNGs held when they were stored
// uncompressed. A deliberate redraw of the icon updates these sums.
TEST_P(ThemePng, DecodesToThePixelsOfTheUncompressedIcon) {
    const std::map<int, std::uint32_t> crcOfPixels = {{16, 0x0191822du},
                                                      {32, 0x2ac8ec61u},
                                                      {48, 0x0a3b6588u},
                                                      {128, 0x52eb6752u},
                                                      {256, 0xb3d85249u}};
    const Bytes pixels = ThemePixels(GetParam());
    ASSERT_FALSE(pixels.empty());
    EXPECT_EQ(::crc32(0L, pixels.data(), static_cast<uInt>(pixels.size())),
              crcOfPixels.at(GetParam()));
}

// The rows are deflated, not stored: the image data is a small part of the
// bytes it inflates to (stored, it would be slightly more than all of them).
TEST_P(ThemePng, IsCompressed) {
    const int size = GetParam();
    const Png png = readPng(readFile("quimbel-" + std::to_string(size) + ".png"));
    ASSERT_FALSE(png.idat.empty()) << "quimbel-" << size << ".png";
    const auto raw = static_cast<std::size_t>(size) * (4 * static_cast<std::size_t>(size) + 1);
    EXPECT_LT(png.idat.size(), raw / 4) << "quimbel-" << size << ".png";
}

INSTANTIATE_TEST_SUITE_P(Sizes, ThemePng, ::testing::Values(16, 32, 48, 128, 256),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Size" + std::to_string(info.param);
                         });

#endif

} // namespace
