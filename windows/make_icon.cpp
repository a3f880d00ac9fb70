// Writes the program's icon, two beamed eighth notes on a blue tile, in the
// sizes Explorer shows most (16 and 32 pixels): make_icon windows/midi2varn.ico
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Point {
    double x;
    double y;
};

// Inside an ellipse with radii rx, ry around `c`, turned by `degrees`.
bool inEllipse(Point p, Point c, double rx, double ry, double degrees)
{
    const double a = degrees * 3.14159265358979 / 180.0;
    const double dx = p.x - c.x;
    const double dy = p.y - c.y;
    const double u = dx * std::cos(a) + dy * std::sin(a);
    const double v = -dx * std::sin(a) + dy * std::cos(a);
    return (u * u) / (rx * rx) + (v * v) / (ry * ry) <= 1.0;
}

// Inside the square from 0.03 to 0.97 with corners rounded by 0.2.
bool inTile(Point p)
{
    const double lo = 0.03;
    const double hi = 0.97;
    const double r = 0.2;
    if (p.x < lo || p.x > hi || p.y < lo || p.y > hi)
        return false;
    const double cx = std::fmin(std::fmax(p.x, lo + r), hi - r);
    const double cy = std::fmin(std::fmax(p.y, lo + r), hi - r);
    return (p.x - cx) * (p.x - cx) + (p.y - cy) * (p.y - cy) <= r * r;
}

// Inside the notes: two heads, their stems and the beam between the stems.
bool inNotes(Point p)
{
    if (inEllipse(p, {0.30, 0.74}, 0.14, 0.10, -25) || inEllipse(p, {0.68, 0.68}, 0.14, 0.10, -25))
        return true;
    if (p.x >= 0.385 && p.x <= 0.445 && p.y >= 0.22 && p.y <= 0.74)
        return true;
    if (p.x >= 0.765 && p.x <= 0.825 && p.y >= 0.16 && p.y <= 0.68)
        return true;
    const double top = 0.20 - (p.x - 0.385) * (0.06 / 0.44);
    return p.x >= 0.385 && p.x <= 0.825 && p.y >= top && p.y <= top + 0.11;
}

void put16(std::string& out, unsigned v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// One image of the icon: the bitmap header, the pixels bottom row first
// (blue, green, red, alpha) and the mask, 1 where the image is transparent.
std::string image(int size)
{
    const int samples = 4; // per pixel and direction, for smooth edges
    std::string pixels;
    std::vector<bool> transparent;
    for (int row = size - 1; row >= 0; --row) {
        for (int col = 0; col < size; ++col) {
            int tile = 0;
            int notes = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const Point p{(col + (sx + 0.5) / samples) / size, (row + (sy + 0.5) / samples) / size};
                    if (inTile(p)) {
                        ++tile;
                        notes += inNotes(p) ? 1 : 0;
                    }
                }
            }
            const double white = tile > 0 ? static_cast<double>(notes) / tile : 0.0;
            const auto mix = [white](int blue) { return static_cast<char>(std::lround(blue + (255 - blue) * white)); };
            pixels += mix(0x84); // blue
            pixels += mix(0x5B); // green
            pixels += mix(0x2B); // red
            pixels += static_cast<char>(std::lround(255.0 * tile / (samples * samples)));
            transparent.push_back(tile == 0);
        }
    }
    const int maskRowBytes = (size + 31) / 32 * 4;
    std::string mask;
    for (int row = 0; row < size; ++row) {
        std::string bytes(static_cast<std::size_t>(maskRowBytes), '\0');
        for (int col = 0; col < size; ++col)
            if (transparent[static_cast<std::size_t>(row * size + col)])
                bytes[static_cast<std::size_t>(col / 8)] |= static_cast<char>(0x80 >> (col % 8));
        mask += bytes;
    }
    std::string out;
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(size));
    put32(out, static_cast<std::uint32_t>(2 * size)); // the pixels and the mask
    put16(out, 1);
    put16(out, 32);
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>(pixels.size() + mask.size()));
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    return out + pixels + mask;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::cerr << "usage: make_icon OUT.ico\n";
        return 1;
    }
    const std::vector<int> sizes = {16, 32};
    std::vector<std::string> images;
    for (int size : sizes)
        images.push_back(image(size));

    std::string icon;
    put16(icon, 0);
    put16(icon, 1); // an icon, not a cursor
    put16(icon, static_cast<unsigned>(sizes.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        icon += static_cast<char>(sizes[i]);
        icon += static_cast<char>(sizes[i]);
        icon += '\0'; // no palette
        icon += '\0';
        put16(icon, 1);
        put16(icon, 32);
        put32(icon, static_cast<std::uint32_t>(images[i].size()));
        put32(icon, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const std::string& data : images)
        icon += data;

    std::ofstream out(argv[1], std::ios::binary);
    out.write(icon.data(), static_cast<std::streamsize>(icon.size()));
    out.close();
    if (!out) {
        std::cerr << "make_icon: could not write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
