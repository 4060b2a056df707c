// Draws Quimbel's application icon -- a monitor with a double-headed arrow
// measuring its diagonal -- and writes into the directory named on the
// command line
//   quimbel.ico          12 DIB images (1, 4, 8 and 32 bits per pixel) for Windows
//   quimbel-<N>.png      N = 16, 32, 48, 128, 256, for the Linux icon theme,
//                        when asked for with "png"
//
//   quimbel_icongen OUTPUT-DIRECTORY [png]
//
// The .ico is plain standard C++, so the generator also builds as a host tool
// on Windows and when cross-compiling. The PNGs are compressed with zlib, and
// only a generator built with it (QUIMBEL_ICONGEN_PNG) writes them. The output
// is a pure function of this file (and, for the PNGs' bytes, of zlib).

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <numeric>
#include <string>
#include <variant>
#include <vector>

#ifdef QUIMBEL_ICONGEN_PNG
#include <zlib.h>
#endif

namespace {

// ---------------------------------------------------------------- drawing

struct Color {
    float r, g, b; // sRGB, 0..1
};

constexpr Color rgb(int r, int g, int b) {
    return {static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f,
            static_cast<float>(b) / 255.0f};
}

// A vertical gradient (solid when both ends are equal). `ink` is the colour
// of the part in the black-and-white image, where the screen has to be white
// and the arrow on it black, which no luminance threshold of the colours gives.
struct Paint {
    Color top;
    Color bottom;
    float y0 = 0.0f;
    float y1 = 1.0f;
    bool ink = true;

    Color at(float y) const {
        const float t = y1 > y0 ? std::clamp((y - y0) / (y1 - y0), 0.0f, 1.0f) : 0.0f;
        return {top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t,
                top.b + (bottom.b - top.b) * t};
    }
};

struct Point {
    float x, y;
};

struct RoundRect {
    float x0, y0, x1, y1, radius;

    bool contains(Point p) const {
        if (p.x < x0 || p.x >= x1 || p.y < y0 || p.y >= y1)
            return false;
        const float cx = std::clamp(p.x, x0 + radius, x1 - radius);
        const float cy = std::clamp(p.y, y0 + radius, y1 - radius);
        const float dx = p.x - cx;
        const float dy = p.y - cy;
        return dx * dx + dy * dy <= radius * radius;
    }
};

struct Triangle {
    Point a, b, c;

    bool contains(Point p) const {
        auto side = [p](Point u, Point v) {
            return (v.x - u.x) * (p.y - u.y) - (v.y - u.y) * (p.x - u.x);
        };
        const float d1 = side(a, b);
        const float d2 = side(b, c);
        const float d3 = side(c, a);
        const bool anyNeg = d1 < 0 || d2 < 0 || d3 < 0;
        const bool anyPos = d1 > 0 || d2 > 0 || d3 > 0;
        return !(anyNeg && anyPos);
    }
};

// A straight bar with square ends, `width` across.
struct Bar {
    Point a, b;
    float width;

    bool contains(Point p) const {
        const float dx = b.x - a.x;
        const float dy = b.y - a.y;
        const float len2 = dx * dx + dy * dy;
        const float t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2;
        if (t < 0.0f || t > 1.0f)
            return false;
        const float cross = (p.x - a.x) * dy - (p.y - a.y) * dx;
        return cross * cross <= 0.25f * width * width * len2;
    }
};

// Hand-placed pixels, for sizes too small for the drawn shapes to stay sharp.
struct PixelArt {
    int x0, y0;
    std::vector<std::string> rows; // '#' is set

    bool contains(Point p) const {
        const int x = static_cast<int>(std::floor(p.x)) - x0;
        const int y = static_cast<int>(std::floor(p.y)) - y0;
        if (y < 0 || y >= static_cast<int>(rows.size()))
            return false;
        const std::string& row = rows[static_cast<std::size_t>(y)];
        return x >= 0 && x < static_cast<int>(row.size()) &&
               row[static_cast<std::size_t>(x)] == '#';
    }
};

// The arrow at 16 and 32 pixels, fitted to the screen area: a smoothed
// diagonal that thin is a grey smear, so it is drawn as a clean staircase.
const std::vector<std::string> kArrow16 = {
    "..............", ".........###..", "..........##..", "........##.#..", "......##......",
    "....##........", "..#.##........", "..##..........", "..###.........",
};
const std::vector<std::string> kArrow32 = {
    "..........................", "..........................", "..................######..",
    "....................####..", "..................######..", "................####..##..",
    "..............####........", "............####..........", "..........####............",
    "........####..............", "..##..####................", "..######..................",
    "..####....................", "..######..................", "..........................",
    "..........................",
};

using Part = std::variant<RoundRect, Triangle, Bar, PixelArt>;

// Everything painted in one paint. Its parts are united before painting, so
// where they overlap nothing is covered twice.
struct Layer {
    std::vector<Part> parts;
    Paint paint;

    bool contains(Point p) const {
        return std::any_of(parts.begin(), parts.end(), [p](const Part& part) {
            return std::visit([p](const auto& shape) { return shape.contains(p); }, part);
        });
    }
};

struct Rgba8 {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
    bool opaque() const { return a >= 128; }
    bool operator==(const Rgba8&) const = default;
};

struct Picture {
    int size = 0;
    std::vector<Rgba8> px; // rows top to bottom, straight (not premultiplied) alpha
    const Rgba8& at(int x, int y) const { return px[static_cast<std::size_t>(y * size + x)]; }
};

enum class Style {
    Smooth, // anti-aliased edges: the 8- and 32-bit images and the PNGs
    Hard,   // every pixel wholly one part: the 4-bit images, which have few colours
    Mono,   // hard, and in black and white: the 1-bit image
};

// The icon drawn on a 32-unit grid, scaled to `size` pixels. Straight edges
// are snapped to whole pixels (symmetrically about the centre) so they stay
// sharp at every size; only curves and the arrow are smoothed.
std::vector<Layer> compose(int size) {
    const float k = static_cast<float>(size) / 32.0f;
    const float mid = static_cast<float>(size) / 2.0f;
    auto snap = [&](float v) { return mid + static_cast<float>(std::lround((v - 16.0f) * k)); };
    auto scale = [&](float v) { return mid + (v - 16.0f) * k; };

    const RoundRect bezel{snap(1), snap(3), snap(31), snap(23), 2.0f * k};
    const RoundRect screen{snap(3), snap(5), snap(29), snap(21), size >= 48 ? 0.5f * k : 0.0f};
    const RoundRect neck{snap(14), snap(23), snap(18), snap(27), 0.0f};
    const RoundRect base{snap(9), snap(27), snap(23), snap(29), 1.0f * k};

    std::vector<Layer> layers;
    layers.push_back({{bezel}, {rgb(67, 76, 94), rgb(36, 41, 51), bezel.y0, bezel.y1, true}});
    layers.push_back({{neck}, {rgb(112, 121, 138), rgb(84, 92, 107), neck.y0, neck.y1, true}});
    layers.push_back({{base}, {rgb(67, 76, 94), rgb(46, 52, 64), base.y0, base.y1, true}});
    layers.push_back(
        {{screen}, {rgb(104, 184, 255), rgb(26, 88, 196), screen.y0, screen.y1, false}});

    const Color white = rgb(255, 255, 255);
    const Paint arrowPaint{white, white, 0.0f, 0.0f, true};
    if (size == 16 || size == 32) {
        const auto& art = size == 16 ? kArrow16 : kArrow32;
        layers.push_back({{PixelArt{static_cast<int>(screen.x0), static_cast<int>(screen.y0), art}},
                          arrowPaint});
        return layers;
    }

    // The measure: corner to corner across the screen, with a head at each end.
    const Point from{scale(6.0f), scale(18.5f)};
    const Point to{scale(26.0f), scale(7.5f)};
    const float dx = to.x - from.x;
    const float dy = to.y - from.y;
    const float len = std::sqrt(dx * dx + dy * dy);
    const Point u{dx / len, dy / len}; // along the arrow
    const Point n{-u.y, u.x};          // across it
    const float shaft = std::max(1.0f, std::round(static_cast<float>(size) / 20.0f));
    const float headLength = std::max(3.0f, 4.5f * k);
    const float headHalf = std::max(1.75f, 2.6f * k);
    auto head = [&](Point tip, float dir) {
        const Point back{tip.x - dir * u.x * headLength, tip.y - dir * u.y * headLength};
        return Triangle{tip,
                        {back.x + n.x * headHalf, back.y + n.y * headHalf},
                        {back.x - n.x * headHalf, back.y - n.y * headHalf}};
    };
    const Point shaftFrom{from.x + u.x * headLength * 0.5f, from.y + u.y * headLength * 0.5f};
    const Point shaftTo{to.x - u.x * headLength * 0.5f, to.y - u.y * headLength * 0.5f};
    layers.push_back(
        {{Bar{shaftFrom, shaftTo, shaft}, head(from, -1.0f), head(to, 1.0f)}, arrowPaint});
    return layers;
}

Picture render(int size, Style style) {
    const std::vector<Layer> layers = compose(size);
    constexpr int kSamples = 8; // per pixel, along each axis
    Picture pic;
    pic.size = size;
    pic.px.resize(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float r = 0, g = 0, b = 0, a = 0; // premultiplied
            for (const Layer& layer : layers) {
                int hits = 0;
                for (int sy = 0; sy < kSamples; ++sy) {
                    for (int sx = 0; sx < kSamples; ++sx) {
                        const Point p{
                            static_cast<float>(x) + (static_cast<float>(sx) + 0.5f) / kSamples,
                            static_cast<float>(y) + (static_cast<float>(sy) + 0.5f) / kSamples};
                        hits += layer.contains(p) ? 1 : 0;
                    }
                }
                float cover = static_cast<float>(hits) / (kSamples * kSamples);
                if (style != Style::Smooth)
                    cover = cover >= 0.5f ? 1.0f : 0.0f;
                if (cover == 0.0f)
                    continue;
                Color c = layer.paint.at(static_cast<float>(y) + 0.5f);
                if (style == Style::Mono)
                    c = layer.paint.ink ? Color{0, 0, 0} : Color{1, 1, 1};
                r = c.r * cover + r * (1.0f - cover);
                g = c.g * cover + g * (1.0f - cover);
                b = c.b * cover + b * (1.0f - cover);
                a = cover + a * (1.0f - cover);
            }
            Rgba8& out = pic.px[static_cast<std::size_t>(y * size + x)];
            out.a = static_cast<std::uint8_t>(std::lround(a * 255.0f));
            if (out.a == 0)
                continue;
            auto channel = [a](float v) {
                return static_cast<std::uint8_t>(std::clamp(std::lround(v / a * 255.0f), 0L, 255L));
            };
            out.r = channel(r);
            out.g = channel(g);
            out.b = channel(b);
        }
    }
    return pic;
}

// ---------------------------------------------------------------- palettes

struct Swatch {
    std::uint8_t r, g, b;
};

int distance2(Swatch p, Rgba8 c) {
    const int dr = p.r - c.r, dg = p.g - c.g, db = p.b - c.b;
    return dr * dr + dg * dg + db * db;
}

// Median cut over the opaque pixels: at most `count` colours that follow what
// the picture actually uses. Entry 0 is always black, and transparent pixels
// point at it: a DIB icon is drawn as (screen AND mask) XOR pixels, so a
// transparent pixel has to be black to leave the screen alone.
std::vector<Swatch> makePalette(const Picture& pic, std::size_t count) {
    struct Entry {
        Rgba8 c;
        int n;
    };
    std::vector<Entry> colours;
    for (const Rgba8& p : pic.px) {
        if (!p.opaque())
            continue;
        const Rgba8 c{p.r, p.g, p.b, 255};
        auto it =
            std::find_if(colours.begin(), colours.end(), [&](const Entry& e) { return e.c == c; });
        if (it == colours.end())
            colours.push_back({c, 1});
        else
            ++it->n;
    }
    std::vector<Swatch> palette{{0, 0, 0}};
    const std::size_t wanted = count - 1;
    using Box = std::vector<Entry>;
    std::vector<Box> boxes{colours};
    auto channelOf = [](const Rgba8& c, int ch) { return ch == 0 ? c.r : ch == 1 ? c.g : c.b; };
    auto widest = [&](const Box& box, int& channel) {
        int best = -1;
        for (int ch = 0; ch < 3; ++ch) {
            const auto [lo, hi] =
                std::minmax_element(box.begin(), box.end(), [&](const Entry& l, const Entry& r) {
                    return channelOf(l.c, ch) < channelOf(r.c, ch);
                });
            const int range = channelOf(hi->c, ch) - channelOf(lo->c, ch);
            if (range > best) {
                best = range;
                channel = ch;
            }
        }
        return best;
    };
    while (boxes.size() < wanted) {
        int pick = -1, pickChannel = 0, pickRange = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].size() < 2)
                continue;
            int ch = 0;
            const int range = widest(boxes[i], ch);
            if (range > pickRange) {
                pick = static_cast<int>(i);
                pickChannel = ch;
                pickRange = range;
            }
        }
        if (pick < 0)
            break; // every box is down to one colour
        Box box = std::move(boxes[static_cast<std::size_t>(pick)]);
        std::stable_sort(box.begin(), box.end(), [&](const Entry& l, const Entry& r) {
            return channelOf(l.c, pickChannel) < channelOf(r.c, pickChannel);
        });
        const long total = std::accumulate(box.begin(), box.end(), 0L,
                                           [](long s, const Entry& e) { return s + e.n; });
        long seen = 0;
        std::size_t cut = 1;
        for (; cut < box.size() - 1; ++cut) {
            seen += box[cut - 1].n;
            if (2 * seen >= total)
                break;
        }
        boxes[static_cast<std::size_t>(pick)] =
            Box(box.begin(), box.begin() + static_cast<long>(cut));
        boxes.emplace_back(box.begin() + static_cast<long>(cut), box.end());
    }
    for (const Box& box : boxes) {
        if (box.empty())
            continue;
        long n = 0, r = 0, g = 0, b = 0;
        for (const Entry& e : box) {
            n += e.n;
            r += static_cast<long>(e.c.r) * e.n;
            g += static_cast<long>(e.c.g) * e.n;
            b += static_cast<long>(e.c.b) * e.n;
        }
        palette.push_back({static_cast<std::uint8_t>((r + n / 2) / n),
                           static_cast<std::uint8_t>((g + n / 2) / n),
                           static_cast<std::uint8_t>((b + n / 2) / n)});
    }
    palette.resize(count, Swatch{0, 0, 0});
    return palette;
}

std::uint8_t nearest(const std::vector<Swatch>& palette, Rgba8 c) {
    std::size_t best = 1; // entry 0 is kept for transparent pixels
    for (std::size_t i = 2; i < palette.size(); ++i) {
        if (distance2(palette[i], c) < distance2(palette[best], c))
            best = i;
    }
    // A black opaque pixel may use entry 0 as well.
    if (distance2(palette[0], c) < distance2(palette[best], c))
        best = 0;
    return static_cast<std::uint8_t>(best);
}

// ---------------------------------------------------------------- byte output

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes& out, std::uint32_t v) {
    put16(out, v & 0xFFFFu);
    put16(out, v >> 16);
}

std::size_t rowBytes(int width, int bits) {
    return static_cast<std::size_t>((width * bits + 31) / 32 * 4);
}

// ---------------------------------------------------------------- ICO

struct IconImage {
    int size;
    int bits;
    Bytes dib;
};

// BITMAPINFOHEADER, palette, pixel rows and AND mask, rows bottom to top.
// The height in the header counts both bitmaps, hence twice the size.
IconImage makeDib(const Picture& pic, int bits) {
    const int size = pic.size;
    std::vector<Swatch> palette;
    if (bits == 1)
        palette = {{0, 0, 0}, {255, 255, 255}};
    else if (bits <= 8)
        palette = makePalette(pic, std::size_t{1} << bits);

    const std::size_t pixelRow = rowBytes(size, bits);
    const std::size_t maskRow = rowBytes(size, 1);
    const auto pixelBytes = static_cast<std::uint32_t>(pixelRow * static_cast<std::size_t>(size));
    const auto maskBytes = static_cast<std::uint32_t>(maskRow * static_cast<std::size_t>(size));

    IconImage img{size, bits, {}};
    Bytes& out = img.dib;
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(size));
    put32(out, static_cast<std::uint32_t>(2 * size));
    put16(out, 1); // planes
    put16(out, static_cast<std::uint32_t>(bits));
    put32(out, 0); // uncompressed
    put32(out, pixelBytes + maskBytes);
    put32(out, 0);
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>(palette.size()));
    put32(out, 0);
    for (const Swatch& s : palette) {
        out.push_back(s.b);
        out.push_back(s.g);
        out.push_back(s.r);
        out.push_back(0);
    }

    for (int y = size - 1; y >= 0; --y) {
        Bytes row(pixelRow, 0);
        for (int x = 0; x < size; ++x) {
            const Rgba8& p = pic.at(x, y);
            if (bits == 32) {
                // Fully transparent pixels are stored as black for the same
                // AND/XOR reason as above.
                const bool clear = p.a == 0;
                row[4 * x + 0] = clear ? 0 : p.b;
                row[4 * x + 1] = clear ? 0 : p.g;
                row[4 * x + 2] = clear ? 0 : p.r;
                row[4 * x + 3] = p.a;
                continue;
            }
            const std::uint8_t index = p.opaque() ? nearest(palette, p) : 0;
            const int perByte = 8 / bits;
            const int shift = 8 - bits * (x % perByte + 1);
            row[static_cast<std::size_t>(x / perByte)] |= static_cast<std::uint8_t>(index << shift);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = size - 1; y >= 0; --y) {
        Bytes row(maskRow, 0);
        for (int x = 0; x < size; ++x) {
            if (!pic.at(x, y).opaque())
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return img;
}

Bytes makeIco(const std::vector<IconImage>& images) {
    Bytes out;
    put16(out, 0);
    put16(out, 1); // icon, not cursor
    put16(out, static_cast<std::uint32_t>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (const IconImage& img : images) {
        out.push_back(static_cast<std::uint8_t>(img.size >= 256 ? 0 : img.size)); // 0 means 256
        out.push_back(static_cast<std::uint8_t>(img.size >= 256 ? 0 : img.size));
        out.push_back(static_cast<std::uint8_t>(img.bits < 8 ? 1 << img.bits : 0));
        out.push_back(0);
        put16(out, 1);
        put16(out, static_cast<std::uint32_t>(img.bits));
        put32(out, static_cast<std::uint32_t>(img.dib.size()));
        put32(out, offset);
        offset += static_cast<std::uint32_t>(img.dib.size());
    }
    for (const IconImage& img : images)
        out.insert(out.end(), img.dib.begin(), img.dib.end());
    return out;
}

// ---------------------------------------------------------------- PNG

#ifdef QUIMBEL_ICONGEN_PNG

void put32be(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void pngChunk(Bytes& out, const char* type, const Bytes& data) {
    put32be(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32be(out, static_cast<std::uint32_t>(
                     ::crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// 8-bit RGBA rows, each with filter type 0 (none): on these flat colours
// zlib alone packs the rows tighter than after any of PNG's filters.
bool makePng(const Picture& pic, Bytes& out) {
    out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    put32be(header, static_cast<std::uint32_t>(pic.size));
    put32be(header, static_cast<std::uint32_t>(pic.size));
    header.insert(header.end(), {8, 6, 0, 0, 0}); // 8-bit RGBA, deflate, no filter, no interlace
    pngChunk(out, "IHDR", header);
    Bytes raw;
    for (int y = 0; y < pic.size; ++y) {
        raw.push_back(0); // filter: none
        for (int x = 0; x < pic.size; ++x) {
            const Rgba8& p = pic.at(x, y);
            raw.insert(raw.end(), {p.r, p.g, p.b, p.a});
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        std::cerr << "icongen: zlib could not compress the " << pic.size << "-pixel image\n";
        return false;
    }
    packed.resize(packedSize);
    pngChunk(out, "IDAT", packed);
    pngChunk(out, "IEND", {});
    return true;
}

#endif

bool writeFile(const std::string& path, const Bytes& data) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    file.close();
    if (!file) {
        std::cerr << "icongen: cannot write " << path << '\n';
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const bool png = argc == 3 && std::string(argv[2]) == "png";
    if (argc != 2 && !png) {
        std::cerr << "usage: icongen OUTPUT-DIRECTORY [png]\n";
        return 2;
    }
#ifndef QUIMBEL_ICONGEN_PNG
    if (png) {
        std::cerr << "icongen: built without zlib, so it writes no PNG\n";
        return 2;
    }
#endif
    const std::string dir = argv[1];

    // Order as Windows lists them: the old colour depths first, then 32-bit
    // from largest to smallest.
    struct Wanted {
        int size;
        int bits;
    };
    constexpr std::array<Wanted, 12> wanted{{{32, 1},
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
                                             {16, 32}}};
    std::vector<IconImage> images;
    for (const Wanted& w : wanted) {
        const Style style = w.bits == 1 ? Style::Mono : w.bits == 4 ? Style::Hard : Style::Smooth;
        images.push_back(makeDib(render(w.size, style), w.bits));
    }
    if (!writeFile(dir + "/quimbel.ico", makeIco(images)))
        return 1;

#ifdef QUIMBEL_ICONGEN_PNG
    for (int size : {16, 32, 48, 128, 256}) {
        if (!png)
            break;
        Bytes file;
        if (!makePng(render(size, Style::Smooth), file) ||
            !writeFile(dir + "/quimbel-" + std::to_string(size) + ".png", file))
            return 1;
    }
#endif
    return 0;
}
