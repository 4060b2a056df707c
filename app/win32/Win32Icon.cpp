// The program's icon at the sizes a resolution asks for. The icon file holds
// 16, 32, 48, 128 and 256 pixels; 125 % and 150 % ask for 20 and 24, 200 %
// for 64. Windows' own loading takes the nearest image and scales it, up
// from 16 to 20: a blurred icon. Scaled down from the next larger image, it
// stays sharp. (LoadIconWithScaleDown would do so on Windows, but Wine's
// takes the nearest image too; the program does it itself, alike on both.)

#include "Win32Private.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace quimbel::ui::win32 {
namespace {

// The sizes of the square images in the program's icon, from its directory
// in the resources.
std::vector<int> IconSizes(HINSTANCE instance) {
    std::vector<int> sizes;
    const HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IconResource), RT_GROUP_ICON);
    const HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const auto* directory =
        loaded ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    if (!directory)
        return sizes;
    const DWORD bytes = SizeofResource(instance, found);
    // A 6-byte header, its count at 4, then 14 bytes an image, its width
    // first, 0 meaning 256.
    const std::size_t count = bytes >= 6 ? directory[4] | directory[5] << 8 : 0;
    for (std::size_t i = 0; i < count && 6 + 14 * (i + 1) <= bytes; ++i) {
        const std::uint8_t* entry = directory + 6 + 14 * i;
        if (entry[0] == entry[1])
            sizes.push_back(entry[0] == 0 ? 256 : entry[0]);
    }
    return sizes;
}

// Windows' own choice: the image of that size, else the nearest, scaled.
UniqueIcon LoadIconImage(HINSTANCE instance, int width, int height) {
    return UniqueIcon(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IconResource),
                                                    IMAGE_ICON, width, height, LR_DEFAULTCOLOR)));
}

// An icon's colour and alpha, top row first, as BGRA; empty when it has no
// colour image of 32 bits.
std::vector<std::uint8_t> Pixels(HICON icon, int size) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info))
        return {};
    const UniqueBitmap colour(info.hbmColor);
    const UniqueBitmap mask(info.hbmMask);
    BITMAP bitmap{};
    if (!colour || !GetObjectW(colour.get(), sizeof bitmap, &bitmap) || bitmap.bmBitsPixel != 32 ||
        bitmap.bmWidth != size || bitmap.bmHeight != size)
        return {};
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = size;
    format.bmiHeader.biHeight = -size;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(size) * size * 4);
    const HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, colour.get(), 0, static_cast<UINT>(size), pixels.data(),
                               &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return rows == size ? pixels : std::vector<std::uint8_t>{};
}

// Each new pixel the average of the area of the old image it covers,
// weighted by alpha so that no colour bleeds from transparent pixels.
std::vector<std::uint8_t> ScaledDown(const std::vector<std::uint8_t>& from, int fromSize,
                                     int size) {
    std::vector<std::uint8_t> to(static_cast<std::size_t>(size) * size * 4);
    const double scale = double(fromSize) / size;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double sum[4] = {};
            double area = 0;
            for (int v = static_cast<int>(y * scale);
                 v < std::min(fromSize, int((y + 1) * scale) + 1); ++v)
                for (int u = static_cast<int>(x * scale);
                     u < std::min(fromSize, int((x + 1) * scale) + 1); ++u) {
                    const double covered = std::max(0.0, std::min(u + 1.0, (x + 1) * scale) -
                                                             std::max(double(u), x * scale)) *
                                           std::max(0.0, std::min(v + 1.0, (y + 1) * scale) -
                                                             std::max(double(v), y * scale));
                    const std::uint8_t* pixel =
                        &from[(static_cast<std::size_t>(v) * fromSize + u) * 4];
                    const double alpha = pixel[3] / 255.0;
                    for (int c = 0; c < 3; ++c)
                        sum[c] += covered * alpha * pixel[c];
                    sum[3] += covered * pixel[3];
                    area += covered;
                }
            std::uint8_t* pixel = &to[(static_cast<std::size_t>(y) * size + x) * 4];
            const double alpha = area > 0 ? sum[3] / area : 0;
            for (int c = 0; c < 3; ++c)
                pixel[c] = alpha > 0 ? static_cast<std::uint8_t>(std::clamp(
                                           sum[c] / area / (alpha / 255.0) + 0.5, 0.0, 255.0))
                                     : 0;
            pixel[3] = static_cast<std::uint8_t>(std::clamp(alpha + 0.5, 0.0, 255.0));
        }
    return to;
}

UniqueIcon IconFromPixels(const std::vector<std::uint8_t>& pixels, int size) {
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = size;
    header.bV5Height = -size;
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    UniqueBitmap colour(CreateDIBSection(screen, reinterpret_cast<const BITMAPINFO*>(&header),
                                         DIB_RGB_COLORS, &bits, nullptr, 0));
    ReleaseDC(nullptr, screen);
    // The mask says "colour" everywhere: the alpha decides.
    UniqueBitmap mask(CreateBitmap(size, size, 1, 1, nullptr));
    if (!colour || !mask || !bits)
        return nullptr;
    std::copy(pixels.begin(), pixels.end(), static_cast<std::uint8_t*>(bits));
    std::vector<std::uint8_t> zeros((static_cast<std::size_t>(size) + 15) / 16 * 2 * size);
    SetBitmapBits(mask.get(), static_cast<LONG>(zeros.size()), zeros.data());
    ICONINFO info{TRUE, 0, 0, mask.get(), colour.get()};
    return UniqueIcon(CreateIconIndirect(&info));
}

} // namespace

UniqueIcon LoadProgramIcon(HINSTANCE instance, int width, int height) {
    const std::vector<int> sizes = IconSizes(instance);
    std::optional<int> larger;
    if (width == height && std::find(sizes.begin(), sizes.end(), width) == sizes.end())
        for (const int size : sizes)
            if (size > width && (!larger || size < *larger))
                larger = size;
    if (larger) {
        const UniqueIcon source = LoadIconImage(instance, *larger, *larger);
        const std::vector<std::uint8_t> pixels =
            source ? Pixels(source.get(), *larger) : std::vector<std::uint8_t>{};
        if (!pixels.empty())
            if (UniqueIcon scaled = IconFromPixels(ScaledDown(pixels, *larger, width), width))
                return scaled;
    }
    return LoadIconImage(instance, width, height);
}

} // namespace quimbel::ui::win32
